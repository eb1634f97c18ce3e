#include "demo/assets/texture_loader.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "demo/assets/picture_file.h"

namespace {

// Rows are packed without gaps; GL's default unpack alignment of 4 would
// read past the end of each row (and of the buffer) when width x 3 is not a
// multiple of 4, so the upload runs at alignment 1 and puts it back after.
class UnpackAlignment {
  public:
    UnpackAlignment() {
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &saved_);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    ~UnpackAlignment() { glPixelStorei(GL_UNPACK_ALIGNMENT, saved_); }
    UnpackAlignment(const UnpackAlignment&) = delete;
    UnpackAlignment& operator=(const UnpackAlignment&) = delete;

  private:
    GLint saved_ = 4;
};

} // namespace

bool decodeTexture(const char* path, DecodedPicture& out) {
    out = DecodedPicture{};
    return decodePictureFile(path, &out);
}

bool uploadTexture(const DecodedPicture& picture, uint32_t* outName, bool mipmaps, int wrap) {
    if (picture.pixels == nullptr || outName == nullptr) {
        return false;
    }
    const unsigned width = picture.width;
    const unsigned height = picture.height;
    const unsigned bytesPerPixel = picture.bytesPerPixel;
    const uint8_t* pixels = picture.pixels.get();
    glEnable(GL_TEXTURE_2D);
    GLuint name = 0;
    glGenTextures(1, &name);
    *outName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    const GLenum format = bytesPerPixel == 4 ? GL_RGBA : GL_RGB;
    const UnpackAlignment packedRows;
    if (mipmaps) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        gluBuild2DMipmaps(GL_TEXTURE_2D, 4, static_cast<GLint>(width), static_cast<GLint>(height),
                          format, GL_UNSIGNED_BYTE, pixels);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), static_cast<GLsizei>(width),
                     static_cast<GLsizei>(height), 0, format, GL_UNSIGNED_BYTE, pixels);
    }
    return true;
}

bool loadTexture(const char* path, uint32_t* outName, bool mipmaps, int wrap) {
    if (path == nullptr || outName == nullptr) {
        return false;
    }
    DecodedPicture picture;
    return decodeTexture(path, picture) && uploadTexture(picture, outName, mipmaps, wrap);
}

void makeSpotTexture(uint32_t* outName) {
    uint8_t spot[128 * 128] = {};
    for (int y = -64; y < 64; ++y) {
        for (int x = -64; x < 64; ++x) {
            const double d = std::sqrt(static_cast<double>(x * x + y * y));
            if (d < 60.0) {
                spot[(y + 64) * 128 + (x + 64)] = static_cast<uint8_t>(255.0 - 4.25 * d);
            }
        }
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    *outName = name;
    glBindTexture(GL_TEXTURE_2D, name);
    const UnpackAlignment packedRows; // 128 is a multiple of 4 anyway
    glTexImage2D(GL_TEXTURE_2D, 0, 1, 128, 128, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, spot);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}
