#pragma once

// The picture blitter: one export, ReadPCX, that decodes a PNG file and
// stretches the whole picture onto a rectangle of a drawing surface.
// Plain C so that any caller can bind it by name at run time.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// A caller-owned drawing surface: 32-bit pixels 0xAARRGGBB (as an integer),
// rows top first, `pitch` bytes from one row to the next.
typedef struct AppSurface {
    uint32_t* pixels;
    int32_t width;
    int32_t height;
    int32_t pitch;
} AppSurface;

// Draws the PNG file `path` (relative names against the current directory)
// stretched onto the rectangle destX, destY, destWidth x destHeight of
// `surface`, clipped to the surface, replacing its pixels. Draws nothing when
// the file cannot be read as a PNG picture it can draw, or when the surface's
// pitch is shorter than its rows (or negative). The result carries no
// meaning (0 where nothing could be drawn).
int32_t ReadPCX(const char* path, AppSurface* surface, int32_t destWidth, int32_t destHeight,
                int32_t destX, int32_t destY);

typedef int32_t (*ReadPCXProc)(const char* path, AppSurface* surface, int32_t destWidth,
                               int32_t destHeight, int32_t destX, int32_t destY);

#ifdef __cplusplus
}
#endif
