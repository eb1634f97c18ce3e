// Writes the whole content of the package folder: data/ with the show's pictures and music,
// and the launcher's background.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "demo/assets/manifest.h"

namespace contentgen {

inline constexpr const char* musicFileName = kMusicPath;

// Every file the generator writes, relative to the package folder.
std::vector<std::string> contentFileNames();

// Generates everything below `packageDir` (created when missing), on up to `threads` threads.
// Returns the reasons for failure, one per failed file; empty on success.
std::vector<std::string> generateContent(const std::filesystem::path& packageDir, int threads = 2);

} // namespace contentgen
