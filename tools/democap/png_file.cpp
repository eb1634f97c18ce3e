#include "tools/democap/png_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <zlib.h>

namespace democap {

namespace {

void putBig32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

// Length, type, data, CRC of type and data.
void putChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
    putBig32(out, static_cast<uint32_t>(size));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    putBig32(out,
             static_cast<uint32_t>(crc32(0L, out.data() + start, static_cast<uInt>(size + 4))));
}

} // namespace

bool writePng(const std::string& path, const uint8_t* rows, int width, int height,
              std::vector<uint8_t>& scratch, std::string& error) {
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    const size_t filteredSize = (rowBytes + 1) * static_cast<size_t>(height);
    // Filter "Up" on every row: one subtraction per byte, and it still pays
    // off on pictures (the first row has a zero row above it).
    scratch.resize(filteredSize);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rows + rowBytes * static_cast<size_t>(height - 1 - y);
        uint8_t* out = scratch.data() + (rowBytes + 1) * static_cast<size_t>(y);
        out[0] = 2;
        if (y == 0) {
            std::memcpy(out + 1, row, rowBytes);
        } else {
            const uint8_t* above = row + rowBytes; // one row higher on screen
            for (size_t i = 0; i < rowBytes; ++i) {
                out[1 + i] = static_cast<uint8_t>(row[i] - above[i]);
            }
        }
    }
    std::vector<uint8_t> packed(compressBound(static_cast<uLong>(filteredSize)));
    uLongf packedSize = static_cast<uLongf>(packed.size());
    if (compress2(packed.data(), &packedSize, scratch.data(), static_cast<uLong>(filteredSize),
                  Z_BEST_SPEED) != Z_OK) {
        error = "cannot compress " + path;
        return false;
    }

    std::vector<uint8_t> file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    file.reserve(packedSize + 64);
    std::vector<uint8_t> header;
    putBig32(header, static_cast<uint32_t>(width));
    putBig32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, deflate, filtered, progressive off
    putChunk(file, "IHDR", header.data(), header.size());
    putChunk(file, "IDAT", packed.data(), packedSize);
    putChunk(file, "IEND", nullptr, 0);

    // Under a temporary name until whole: a full disk or a stop leaves no
    // cut-off picture under a frame's name.
    const std::string part = path + ".part";
    FILE* f = std::fopen(part.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    const int savedErrno = errno;
    if (std::fclose(f) != 0 || !written) {
        error = "cannot write " + path + ": " + std::strerror(written ? errno : savedErrno) +
                " (nothing left under its name)";
        std::remove(part.c_str());
        return false;
    }
    if (std::rename(part.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(part.c_str());
        return false;
    }
    return true;
}

} // namespace democap
