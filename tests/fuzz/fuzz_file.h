#pragma once
// Both fuzz targets hand their bytes to code that reads a named file, so
// each input is written to one scratch file per process first.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The picture_file target: the input's first byte picks the extension (so
// the decoder), the rest is the file.
inline constexpr const char* kPictureFuzzExtensions[] = {".bmp", ".png", ".jpeg", ".jpg",
                                                         ".pcx", ".tga", ".dds"};
inline constexpr size_t kPictureFuzzExtensionCount =
    sizeof kPictureFuzzExtensions / sizeof kPictureFuzzExtensions[0];
// The read_pcx target: surface size and rectangle first, then the PNG.
inline constexpr size_t kReadPcxFuzzHeader = 18;

inline std::string writeFuzzFile(const char* extension, const uint8_t* data, size_t size) {
    static const std::string stem = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/vemu-fuzz-" +
               std::to_string(::getpid());
    }();
    const std::string path = stem + extension;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return {};
    }
    if (size > 0) {
        std::fwrite(data, 1, size, file);
    }
    std::fclose(file);
    return path;
}
