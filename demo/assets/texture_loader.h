#pragma once
#include <cstdint>

#include "demo/assets/picture_file.h" // the size caps

// Decodes a picture file (format chosen by its extension) into a new GL
// texture whose name goes into *outName. False, with *outName untouched, when
// the extension is unknown or the file cannot be decoded. Pictures of other
// than 24 or 32 bits per pixel are converted first (alpha kept).
bool loadTexture(const char* path, uint32_t* outName, bool mipmaps, int wrap);

// A 128 x 128 luminance cone of light, for sparks and glows.
void makeSpotTexture(uint32_t* outName);

// The two halves of loadTexture, so pictures can be decoded on worker
// threads (no GL there) while the thread that owns the context uploads them
// in the order it wants.
// No GL: safe on any thread. False (and out emptied) when loadTexture would
// refuse the file.
bool decodeTexture(const char* path, DecodedPicture& out);
// Needs the current GL context: the texture creation loadTexture does.
bool uploadTexture(const DecodedPicture& picture, uint32_t* outName, bool mipmaps, int wrap);
