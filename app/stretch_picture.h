#pragma once

// Our stand-in for GDI's StretchDIBits with SRCCOPY on a surface of 32-bit
// pixels: the whole of a decoded picture stretched nearest neighbour onto a
// destination rectangle, clipped to the surface. Nearest neighbour keeps
// every drawn pixel one of the picture's own colours, so a key colour stays
// exact. Alpha is not drawn: a copy replaces the pixels, as GDI's does.

#include "app/app.h"
#include "common/picture_codecs.h"

// Returns false, drawing nothing, for a picture without pixels. An empty
// or fully clipped rectangle draws nothing and counts as drawn.
bool stretchPicture(const AppSurface& surface, int32_t destX, int32_t destY, int32_t destWidth,
                    int32_t destHeight, const DecodedPicture& picture);
