// The show's pictures stand upright on screen: stored as the generator stores them, loaded
// by the show's own loader and drawn on the show's screen quad (t = 0 at the lower edge) in
// a real GL context.
#include "demo/assets/texture_loader.h"
#include "tests/support/gl_harness.h"
#include "tools/contentgen/canvas.h"
#include "tools/contentgen/pictures.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

using namespace contentgen;

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
    uint32_t tex = 0;
    ASSERT_TRUE(loadTexture(path.string().c_str(), &tex, false, GL_CLAMP));
    std::filesystem::remove(path);

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
