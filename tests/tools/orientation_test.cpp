// The show's pictures stand upright on screen: stored as the generator stores them, loaded
// the way the show's loader loads them (top row first, red and blue swapped) and drawn on
// the show's screen quad (t = 0 at the lower edge) in a real GL context.
#include "tests/support/gl_harness.h"
#include "tools/contentgen/canvas.h"
#include "tools/contentgen/pictures.h"

#include <FreeImage.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

using namespace contentgen;

GLuint loadLikeTheShow(const std::string& path) {
    FIBITMAP* bmp = FreeImage_Load(FIF_PNG, path.c_str(), 0);
    if (bmp == nullptr) {
        return 0;
    }
    const unsigned w = FreeImage_GetWidth(bmp), h = FreeImage_GetHeight(bmp);
    std::vector<BYTE> rows(static_cast<std::size_t>(w) * h * 3);
    FreeImage_ConvertToRawBits(rows.data(), bmp, static_cast<int>(w * 3), 24, 0, 0, 0, TRUE);
    FreeImage_Unload(bmp);
    for (std::size_t i = 0; i + 2 < rows.size(); i += 3) {
        std::swap(rows[i], rows[i + 2]);
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, static_cast<GLsizei>(w), static_cast<GLsizei>(h), 0,
                 GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    return name;
}

TEST(ShowPictureOrientation, DrawingsStandUprightThroughTheShowsLoader) {
    GlHarness gl;
    ASSERT_TRUE(gl.ok());
    // The drawing: red above, blue below.
    Canvas c(8, 8);
    c.clear({0, 0, 1, 1});
    c.rect(0, 0, 8, 4, {1, 0, 0, 1}, Blend::Replace);
    const auto path =
        std::filesystem::temp_directory_path() / ("upright_" + std::to_string(::getpid()) + ".png");
    ASSERT_EQ(c.savePng(path.string(), false, showPicturesBottomRowFirst), "");
    const GLuint tex = loadLikeTheShow(path.string());
    std::filesystem::remove(path);
    ASSERT_NE(tex, 0u);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 640, 0, 480, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3i(0, 0, 0);
    glTexCoord2f(1, 0);
    glVertex3i(640, 0, 0);
    glTexCoord2f(1, 1);
    glVertex3i(640, 480, 0);
    glTexCoord2f(0, 1);
    glVertex3i(0, 480, 0);
    glEnd();
    glFinish();

    const Rgb top = gl.pixel(320, 400), bottom = gl.pixel(320, 80);
    EXPECT_GT(top.r, 200);
    EXPECT_LT(top.b, 60);
    EXPECT_GT(bottom.b, 200);
    EXPECT_LT(bottom.r, 60);
    glDeleteTextures(1, &tex);
}

} // namespace
