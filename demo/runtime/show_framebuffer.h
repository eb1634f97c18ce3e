#pragma once

// The framebuffer the show is drawn into, the same for the demo, democap and
// the tests, whatever makes the context: double-buffered, 8 bits a colour
// (5-6-5 at 16 bits a pixel), 16-bit depth, no stencil, and no alpha planes
// unless asked for (the scenes need destination alpha to read 1; some
// drivers give planes anyway).
struct ShowFramebuffer {
    int red;
    int green;
    int blue;
    int alpha;
    int depth;
    int stencil;
};

constexpr ShowFramebuffer showFramebuffer(int bitsPerPixel = 32, int alphaBits = 0) {
    const bool deep = bitsPerPixel >= 24;
    return ShowFramebuffer{deep ? 8 : 5, deep ? 8 : 6, deep ? 8 : 5, alphaBits, 16, 0};
}
