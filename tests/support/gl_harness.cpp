#include "tests/support/gl_harness.h"

#include <GL/gl.h>
#include <cstdio>
#include <cstdlib>

#include "demo/assets/startup.h"
#include "demo/runtime/viewport.h"
#include "tools/democap/offscreen_gl.h"

GlHarness::GlHarness(int width, int height)
    : width_(width), height_(height), gl_(std::make_unique<OffscreenGl>()) {
    std::string error;
    if (!gl_->open(width, height, error)) {
        std::fprintf(stderr, "GlHarness: %s\n", error.c_str());
        return;
    }
    ready_ = true;
    resizeViewport(width, height);
}

GlHarness::~GlHarness() = default;

void GlHarness::applyStartupState() {
    applyStartupGlState();
    glDisable(GL_TEXTURE_2D);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

Rgb GlHarness::pixel(int x, int y) const {
    unsigned char p[3] = {0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return Rgb{p[0], p[1], p[2]};
}

std::vector<uint8_t> GlHarness::readPixels() const {
    std::vector<uint8_t> rows(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    return rows;
}

void GlHarness::swap() {
    gl_->swap();
}

uint32_t GlHarness::solidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a, int size) {
    std::vector<uint8_t> texels(static_cast<size_t>(size) * static_cast<size_t>(size) * 4);
    for (size_t i = 0; i < texels.size(); i += 4) {
        texels[i] = r;
        texels[i + 1] = g;
        texels[i + 2] = b;
        texels[i + 3] = a;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 texels.data());
    return name;
}

bool near(const Rgb& got, const Rgb& want, int tol) {
    return std::abs(got.r - want.r) <= tol && std::abs(got.g - want.g) <= tol &&
           std::abs(got.b - want.b) <= tol;
}
