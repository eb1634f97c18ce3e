#pragma once
#include <cstdint>
#include <memory>
#include <vector>

class OffscreenGl;

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// A real OpenGL context on an offscreen SDL window (Mesa's llvmpipe), with
// the demo's projection set up, for rendering tests. One per test.
class GlHarness {
  public:
    explicit GlHarness(int width = 640, int height = 480);
    ~GlHarness();
    GlHarness(const GlHarness&) = delete;
    GlHarness& operator=(const GlHarness&) = delete;

    bool ok() const { return ready_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // The start-up GL state the scenes inherit (depth test less-or-equal,
    // smooth shading, black clear colour).
    void applyStartupState();
    // Pixel at window coordinates, y counted from the bottom as GL does.
    Rgb pixel(int x, int y) const;
    // The whole back buffer as RGB rows, bottom row first.
    std::vector<uint8_t> readPixels() const;
    void swap();

    // A texture of one solid colour (and alpha), so a pixel tells which
    // picture shows. Returns the GL name.
    static uint32_t solidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255, int size = 8);

  private:
    int width_;
    int height_;
    std::unique_ptr<OffscreenGl> gl_;
    bool ready_ = false;
};

// Within tol on each channel.
bool near(const Rgb& got, const Rgb& want, int tol = 3);
