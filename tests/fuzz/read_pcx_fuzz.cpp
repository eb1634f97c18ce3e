// ReadPCX's decode and stretch: fuzzed rectangle values and surface size in
// the first 18 bytes, the picture file after them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/app.h"
#include "tests/fuzz/fuzz_file.h"

namespace {
int32_t take32(const uint8_t* at) {
    uint32_t value = 0;
    std::memcpy(&value, at, 4);
    return static_cast<int32_t>(value);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kHeader = kReadPcxFuzzHeader;
    if (size < kHeader) {
        return 0;
    }
    // A small surface (1 to 64 pixels a side), sized exactly, so a write
    // past any edge lands outside the allocation.
    const int32_t width = 1 + data[0] % 64;
    const int32_t height = 1 + data[1] % 64;
    const int32_t destWidth = take32(data + 2);
    const int32_t destHeight = take32(data + 6);
    const int32_t destX = take32(data + 10);
    const int32_t destY = take32(data + 14);
    const std::string path = writeFuzzFile(".png", data + kHeader, size - kHeader);
    if (path.empty()) {
        return 0;
    }
    std::vector<uint32_t> pixels(size_t(width) * size_t(height), 0x12345678u);
    AppSurface surface{pixels.data(), width, height, width * 4};
    ReadPCX(path.c_str(), &surface, destWidth, destHeight, destX, destY);
    return 0;
}
