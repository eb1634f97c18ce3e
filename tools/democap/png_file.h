#pragma once
// A plain 8-bit RGB PNG, written for speed: zlib level 1 and one fixed row
// filter, where a general writer would try every filter on every row.
#include <cstdint>
#include <string>
#include <vector>

namespace democap {

// rows: width x height tight RGB pixels, bottom row first as GL reads them;
// the file has the top row first. scratch is reused between calls.
bool writePng(const std::string& path, const uint8_t* rows, int width, int height,
              std::vector<uint8_t>& scratch, std::string& error);

} // namespace democap
