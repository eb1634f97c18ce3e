#pragma once

// Our stand-in for GDI's StretchDIBits with SRCCOPY on a surface of 32-bit
// pixels: the whole of a device-independent bitmap (header, colour table and
// rows as Windows lays them out, bottom-up when the height is positive, each
// row padded to 4 bytes) stretched nearest neighbour onto a destination
// rectangle, clipped to the surface. Nearest neighbour keeps every drawn
// pixel one of the picture's own colours, so a key colour stays exact.

#include "app/app.h"

#include <FreeImage.h>

// Returns false, drawing nothing, for a header it cannot draw (anything but
// uncompressed 1, 4, 8, 24 or 32 bits per pixel, or a size that disagrees
// with srcWidth x srcHeight). An empty or fully clipped rectangle draws
// nothing and counts as drawn.
bool stretchDibBits(const AppSurface& surface, int32_t destX, int32_t destY, int32_t destWidth,
                    int32_t destHeight, int32_t srcWidth, int32_t srcHeight, const BYTE* bits,
                    const BITMAPINFO* info);
