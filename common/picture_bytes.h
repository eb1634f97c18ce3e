#pragma once
// Picture files as bytes in memory, with the metadata a picture does not need
// for its pixels taken out before any decoder sees it. Shared by the demo's
// texture loader and app.so's ReadPCX.
//
// Why: metadata readers have a history of trusting their own offsets (a
// JPEG whose EXIF directory pointed past its segment made FreeImage read far
// outside the block). The show uses pixels only, so the segments and chunks
// that carry nothing else are dropped rather than checked one bad header at
// a time, whichever decoder comes after.

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace picture_bytes {

// The whole of a regular, non-empty file of at most maxBytes; false otherwise.
inline bool readFile(const char* path, uint64_t maxBytes, std::vector<uint8_t>& out) {
    struct stat info;
    // Only regular files: a directory opens for reading on Linux.
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        static_cast<uint64_t>(info.st_size) > maxBytes) {
        return false;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return false;
    }
    out.resize(static_cast<size_t>(info.st_size));
    const size_t got = std::fread(out.data(), 1, out.size(), file);
    // A file that shrank since stat is read as it is now; one that grew is
    // read as far as it was.
    out.resize(got);
    std::fclose(file);
    return !out.empty();
}

// JPEG markers that carry only metadata: APP1 to APP13 (EXIF, XMP, ICC,
// Photoshop...), APP15 and COM. APP0 (JFIF) and APP14 (Adobe: the colour
// transform) say how to read the pixels and stay.
inline bool jpegMetadataMarker(uint8_t marker) {
    return (marker >= 0xe1 && marker <= 0xed) || marker == 0xef || marker == 0xfe;
}

// Drops the metadata segments of a JPEG before its first scan; everything
// else keeps its bytes and order. Markers are found as libjpeg finds them
// (bytes between segments skipped, fill bytes allowed), so no segment that
// libjpeg would read escapes. A metadata segment cut off by the end of the
// file ends the picture there: it had no scan to decode anyway. Not a JPEG
// (no start-of-image marker): left as it is, for the decoder to refuse.
inline void stripJpegMetadata(std::vector<uint8_t>& bytes) {
    const size_t n = bytes.size();
    if (n < 2 || bytes[0] != 0xff || bytes[1] != 0xd8) {
        return;
    }
    std::vector<uint8_t> out(bytes.begin(), bytes.begin() + 2);
    out.reserve(n);
    size_t pos = 2;
    const auto keep = [&](size_t from, size_t to) {
        out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(from),
                   bytes.begin() + static_cast<std::ptrdiff_t>(to));
    };
    while (pos < n) {
        while (pos < n && bytes[pos] != 0xff) {
            ++pos; // not a marker: libjpeg skips it too
        }
        const size_t start = pos;
        while (pos < n && bytes[pos] == 0xff) {
            ++pos;
        }
        if (pos >= n) {
            break;
        }
        const uint8_t marker = bytes[pos++];
        if (marker == 0x00) {
            continue; // a stuffed 0xff, not a marker
        }
        if (marker == 0xda || marker == 0xd9) {
            keep(start, n); // the scan (or the end): the rest is image data
            break;
        }
        if (marker == 0x01 || marker == 0xd8 || (marker >= 0xd0 && marker <= 0xd7)) {
            keep(start, pos); // no length follows
            continue;
        }
        if (pos + 2 > n) {
            break;
        }
        const size_t length = static_cast<size_t>(bytes[pos]) << 8 | bytes[pos + 1];
        const size_t end = pos + length;
        if (jpegMetadataMarker(marker)) {
            if (length < 2 || end > n) {
                break; // a broken metadata segment: nothing after it can be trusted
            }
            pos = end;
            continue;
        }
        if (length < 2 || end > n) {
            keep(start, n); // libjpeg's own segment: let it report the damage
            break;
        }
        keep(start, end);
        pos = end;
    }
    bytes.swap(out);
}

// PNG chunks that carry only text or EXIF. Colour information (gAMA, cHRM,
// sRGB, iCCP) and everything else stays.
inline bool pngMetadataChunk(const uint8_t* type) {
    const auto is = [type](const char* name) {
        return type[0] == uint8_t(name[0]) && type[1] == uint8_t(name[1]) &&
               type[2] == uint8_t(name[2]) && type[3] == uint8_t(name[3]);
    };
    return is("tEXt") || is("zTXt") || is("iTXt") || is("eXIf");
}

inline bool hasPngSignature(const std::vector<uint8_t>& bytes) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return bytes.size() >= 8 && std::equal(kSignature, kSignature + 8, bytes.begin());
}

// Drops the text and EXIF chunks of a PNG. A chunk whose length runs past the
// end is kept with the rest, for libpng to refuse. Not a PNG: left as it is.
inline void stripPngMetadata(std::vector<uint8_t>& bytes) {
    const size_t n = bytes.size();
    if (!hasPngSignature(bytes)) {
        return;
    }
    std::vector<uint8_t> out(bytes.begin(), bytes.begin() + 8);
    out.reserve(n);
    size_t pos = 8;
    while (pos < n) {
        if (pos + 8 > n) {
            out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end());
            break;
        }
        const uint64_t length = static_cast<uint64_t>(bytes[pos]) << 24 |
                                static_cast<uint64_t>(bytes[pos + 1]) << 16 |
                                static_cast<uint64_t>(bytes[pos + 2]) << 8 | bytes[pos + 3];
        const uint64_t end = pos + 12 + length; // length, type, data, CRC
        if (end > n) {
            out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.end());
            break;
        }
        if (!pngMetadataChunk(&bytes[pos + 4])) {
            out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                       bytes.begin() + static_cast<std::ptrdiff_t>(end));
        }
        pos = static_cast<size_t>(end);
    }
    bytes.swap(out);
}

// Drops a TGA 2.0 footer (26 bytes ending in "TRUEVISION-XFILE.\0"). It only
// points at the extension and developer areas (author, comments, a
// thumbnail), which FreeImage reads at offsets taken on trust; without the
// footer the file is a TGA 1.0 file and those areas are trailing bytes.
inline void stripTargaFooter(std::vector<uint8_t>& bytes) {
    static const char kSignature[] = "TRUEVISION-XFILE."; // with its terminating 0: 18
    // Until none is left: the bytes before a footer can end in another. A
    // file too short to hold a footer and a header is nothing but that.
    while (bytes.size() >= 18 && std::equal(kSignature, kSignature + 18, bytes.end() - 18,
                                            [](char a, uint8_t b) { return uint8_t(a) == b; })) {
        bytes.resize(bytes.size() >= 18 + 26 ? bytes.size() - 26 : 0);
    }
}

} // namespace picture_bytes
