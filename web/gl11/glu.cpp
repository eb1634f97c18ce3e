// The GLU calls the show makes, drawn through the GL 1.1 subset as GLU
// draws them: the same projection, mipmaps of power-of-two sizes, and the
// quadrics' strips with their texture coordinates.
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

struct GLUquadric {
    bool texture = false;
    GLenum drawStyle = GLU_FILL;
};

// From the subset: ES's mipmap generation, which GL 1.1 has no name for.
extern "C" void vemu_gl11GenerateMipmap(GLenum target);

namespace {

constexpr double kPi = 3.14159265358979323846;

// The power of two nearest to value, as GLU picks it (a value whose top two
// bits are set rounds up).
int nearestPower(int value) {
    int power = 1;
    if (value <= 0) {
        return 1;
    }
    for (;;) {
        if (value == 1) {
            return power;
        }
        if (value == 3) {
            return power * 4;
        }
        value >>= 1;
        power *= 2;
    }
}

// Resamples to size with an area average over each target pixel.
std::vector<uint8_t> scaleImage(const uint8_t* pixels, int width, int height, int channels,
                                int rowBytes, int toWidth, int toHeight) {
    std::vector<uint8_t> out(static_cast<size_t>(toWidth) * toHeight * channels);
    const double sx = static_cast<double>(width) / toWidth;
    const double sy = static_cast<double>(height) / toHeight;
    for (int y = 0; y < toHeight; ++y) {
        const int y0 = static_cast<int>(y * sy);
        const int y1 = std::max(y0 + 1, static_cast<int>(std::ceil((y + 1) * sy)));
        for (int x = 0; x < toWidth; ++x) {
            const int x0 = static_cast<int>(x * sx);
            const int x1 = std::max(x0 + 1, static_cast<int>(std::ceil((x + 1) * sx)));
            for (int c = 0; c < channels; ++c) {
                double sum = 0;
                int count = 0;
                for (int yy = y0; yy < std::min(y1, height); ++yy) {
                    for (int xx = x0; xx < std::min(x1, width); ++xx) {
                        sum += pixels[static_cast<size_t>(yy) * rowBytes + xx * channels + c];
                        ++count;
                    }
                }
                out[(static_cast<size_t>(y) * toWidth + x) * channels + c] =
                    static_cast<uint8_t>(count > 0 ? sum / count + 0.5 : 0);
            }
        }
    }
    return out;
}

// Sine and cosine of each slice's angle round the z axis, the first again
// at the end so strips close.
void angleTable(int slices, std::vector<float>& sines, std::vector<float>& cosines) {
    sines.resize(static_cast<size_t>(slices) + 1);
    cosines.resize(sines.size());
    for (int i = 0; i < slices; ++i) {
        const double angle = 2 * kPi * i / slices;
        sines[i] = static_cast<float>(std::sin(angle));
        cosines[i] = static_cast<float>(std::cos(angle));
    }
    sines[slices] = sines[0];
    cosines[slices] = cosines[0];
}

} // namespace

extern "C" {

void vemu_gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    const double radians = fovy / 2.0 * kPi / 180.0;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0) {
        return;
    }
    const double cotangent = std::cos(radians) / sine;
    const GLfloat m[16] = {static_cast<float>(cotangent / aspect),
                           0,
                           0,
                           0,
                           0,
                           static_cast<float>(cotangent),
                           0,
                           0,
                           0,
                           0,
                           static_cast<float>(-(zFar + zNear) / deltaZ),
                           -1,
                           0,
                           0,
                           static_cast<float>(-2 * zNear * zFar / deltaZ),
                           0};
    glMultMatrixf(m);
}

GLint vemu_gluBuild2DMipmaps(GLenum target, GLint internalFormat, GLsizei width, GLsizei height,
                             GLenum format, GLenum type, const void* data) {
    if (width < 1 || height < 1 || data == nullptr || type != GL_UNSIGNED_BYTE) {
        return 100900; // GLU_INVALID_ENUM / value: nothing made
    }
    const int channels = format == GL_RGBA ? 4 : format == GL_RGB ? 3 : 1;
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    const int rowBytes = (width * channels + alignment - 1) / alignment * alignment;
    const int toWidth = nearestPower(width), toHeight = nearestPower(height);
    const auto* pixels = static_cast<const uint8_t*>(data);
    if (toWidth == width && toHeight == height) {
        glTexImage2D(target, 0, internalFormat, width, height, 0, format, type, data);
    } else {
        const std::vector<uint8_t> scaled =
            scaleImage(pixels, width, height, channels, rowBytes, toWidth, toHeight);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(target, 0, internalFormat, toWidth, toHeight, 0, format, type, scaled.data());
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    }
    // The smaller levels by halving, as GLU's box filter makes them.
    vemu_gl11GenerateMipmap(target);
    return 0;
}

GLUquadric* vemu_gluNewQuadric(void) {
    return new GLUquadric();
}
void vemu_gluDeleteQuadric(GLUquadric* quadric) {
    delete quadric;
}
void vemu_gluQuadricTexture(GLUquadric* quadric, GLboolean texture) {
    if (quadric != nullptr) {
        quadric->texture = texture != GL_FALSE;
    }
}
void vemu_gluQuadricDrawStyle(GLUquadric* quadric, GLenum style) {
    if (quadric != nullptr) {
        quadric->drawStyle = style;
    }
}

void vemu_gluCylinder(GLUquadric* quadric, GLdouble base, GLdouble top, GLdouble height,
                      GLint slices, GLint stacks) {
    if (quadric == nullptr || slices < 2 || stacks < 1) {
        return;
    }
    std::vector<float> sines, cosines;
    angleTable(slices, sines, cosines);
    const double delta = base - top;
    for (int j = 0; j < stacks; ++j) {
        const float zLow = static_cast<float>(j * height / stacks);
        const float zHigh = static_cast<float>((j + 1) * height / stacks);
        const float low = static_cast<float>(base - delta * (static_cast<float>(j) / stacks));
        const float high = static_cast<float>(base - delta * (static_cast<float>(j + 1) / stacks));
        glBegin(GL_QUAD_STRIP);
        for (int i = 0; i <= slices; ++i) {
            const float s = 1.0f - static_cast<float>(i) / slices;
            if (quadric->texture) {
                glTexCoord2f(s, static_cast<float>(j) / stacks);
            }
            glVertex3f(low * sines[i], low * cosines[i], zLow);
            if (quadric->texture) {
                glTexCoord2f(s, static_cast<float>(j + 1) / stacks);
            }
            glVertex3f(high * sines[i], high * cosines[i], zHigh);
        }
        glEnd();
    }
}

void vemu_gluDisk(GLUquadric* quadric, GLdouble inner, GLdouble outer, GLint slices, GLint loops) {
    if (quadric == nullptr || slices < 2 || loops < 1 || outer <= 0) {
        return;
    }
    std::vector<float> sines, cosines;
    angleTable(slices, sines, cosines);
    const double delta = outer - inner;
    auto point = [&](float radius, int i) {
        if (quadric->texture) {
            const float tex = static_cast<float>(radius / outer / 2);
            glTexCoord2f(tex * sines[i] + 0.5f, tex * cosines[i] + 0.5f);
        }
        glVertex3f(radius * sines[i], radius * cosines[i], 0.0f);
    };
    int finish = loops;
    if (inner == 0) {
        // The centre as one fan.
        finish = loops - 1;
        glBegin(GL_TRIANGLE_FAN);
        if (quadric->texture) {
            glTexCoord2f(0.5f, 0.5f);
        }
        glVertex3f(0.0f, 0.0f, 0.0f);
        const float low =
            static_cast<float>(outer - delta * (static_cast<float>(loops - 1) / loops));
        for (int i = slices; i >= 0; --i) {
            point(low, i);
        }
        glEnd();
    }
    for (int j = 0; j < finish; ++j) {
        const float low = static_cast<float>(outer - delta * (static_cast<float>(j) / loops));
        const float high = static_cast<float>(outer - delta * (static_cast<float>(j + 1) / loops));
        glBegin(GL_QUAD_STRIP);
        for (int i = 0; i <= slices; ++i) {
            point(low, i);
            point(high, i);
        }
        glEnd();
    }
}

} // extern "C"
