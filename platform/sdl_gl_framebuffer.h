#pragma once

// The framebuffer the show is drawn into, asked of SDL before a GL window is
// made, the same for the demo, democap and the tests' harness:
// double-buffered, 8 bits a colour (5-6-5 at 16 bits a pixel), 16-bit depth,
// no stencil, and no alpha planes unless asked for (the scenes need
// destination alpha to read 1; some drivers give planes anyway).

#include <SDL.h>

inline void requestShowFramebuffer(int bitsPerPixel = 32, int alphaBits = 0) {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, bitsPerPixel >= 24 ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, bitsPerPixel >= 24 ? 8 : 6);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, bitsPerPixel >= 24 ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, alphaBits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
}
