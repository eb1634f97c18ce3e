#pragma once
// Valid sample pictures of every format and depth the loader takes, and the
// ways the robustness tests break them.
#include <cstdint>
#include <string>
#include <vector>

class TempDir;

struct SamplePicture {
    std::string name;      // what it is, e.g. "tga_rle32"
    std::string extension; // picks the decoder, e.g. ".tga"
    std::string path;
};

// Small (24 x 17, odd) pictures: BMP 24-bit and 8-bit RLE, PNG 24, 32,
// palette, 16-bit grey and interlaced, baseline and progressive JPEG, PCX,
// TGA 24-bit and 32-bit RLE, DDS A8R8G8B8 and DXT1.
std::vector<SamplePicture> writeSamplePictures(const TempDir& dir);

// Pictures whose metadata lies about itself, with valid pixels: baseline
// JPEGs with an EXIF block (APP1) that is truncated, whose directory offset
// lies past the segment, whose entry count runs past the end, whose values
// and sub-directories point outside, or whose directories loop, in both byte
// orders; one whose APP1 runs past the end of the file (no scan left); and
// PNGs with malformed text and EXIF chunks, or lying ICC profiles. Name "jpeg_exif_..." or
// "png_meta_..."; the clean picture they were made from is "clean".
std::vector<SamplePicture> writeMetadataCases(const TempDir& dir);

// A run-length TGA (15 bits, 5887 x 1, row padding of 2 bytes) whose last
// packet runs one pixel past the picture.
std::vector<uint8_t> targaPacketPastTheEnd();

// A copy with 1 to 8 bits flipped or bytes set to 0x00, 0x7f, 0x80 or 0xff,
// chosen by seed; even seeds hit only the first 64 bytes (the headers).
std::vector<uint8_t> mutate(std::vector<uint8_t> bytes, uint32_t seed);

// Every PngSuite file under `suite` (valid, odd and corrupt), in name order,
// each in six bit-flipped copies: the same copies for the loader's tests and
// for the memory check. Empty when the folder is missing.
struct FlippedFile {
    std::string name; // the original's path, and which copy
    std::vector<uint8_t> bytes;
};
std::vector<FlippedFile> flippedPngSuite(const std::string& suite);

// Rewrites the picture's declared width and height in its header (fixing a
// PNG header's checksum). False when the format's size field isn't found.
bool declareSize(const std::string& extension, std::vector<uint8_t>& bytes, uint32_t width,
                 uint32_t height);
