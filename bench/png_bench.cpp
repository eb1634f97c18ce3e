// democap's PNG writer (zlib level 1, one fixed row filter) against
// FreeImage's (fastest zlib level, libpng's adaptive filters) on frames
// democap wrote: time per frame and file size, each writer 3 rounds.
//   build/bench/png_bench FOLDER_OF_PNGS [SCRATCH_FOLDER]
#include <FreeImage.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/democap/png_file.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rows; // RGB, bottom row first, as democap reads GL
};

Frame loadFrame(const std::string& file) {
    Frame frame;
    FIBITMAP* bitmap = FreeImage_Load(FIF_PNG, file.c_str(), 0);
    if (bitmap == nullptr || FreeImage_GetBPP(bitmap) != 24) {
        FreeImage_Unload(bitmap);
        return frame;
    }
    frame.width = static_cast<int>(FreeImage_GetWidth(bitmap));
    frame.height = static_cast<int>(FreeImage_GetHeight(bitmap));
    for (int y = 0; y < frame.height; ++y) { // FreeImage: bottom row first, BGR
        const BYTE* row = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < frame.width; ++x) {
            frame.rows.insert(frame.rows.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
        }
    }
    FreeImage_Unload(bitmap);
    return frame;
}

bool saveWithFreeImage(const Frame& frame, const std::string& path) {
    FIBITMAP* bitmap = FreeImage_Allocate(frame.width, frame.height, 24);
    for (int y = 0; y < frame.height; ++y) {
        BYTE* row = FreeImage_GetScanLine(bitmap, y);
        const uint8_t* source = frame.rows.data() + static_cast<size_t>(y) * frame.width * 3;
        for (int x = 0; x < frame.width; ++x) {
            row[x * 3] = source[x * 3 + 2];
            row[x * 3 + 1] = source[x * 3 + 1];
            row[x * 3 + 2] = source[x * 3];
        }
    }
    const bool saved = FreeImage_Save(FIF_PNG, bitmap, path.c_str(), PNG_Z_BEST_SPEED) != 0;
    FreeImage_Unload(bitmap);
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("Usage: png_bench FOLDER_OF_PNGS [SCRATCH_FOLDER]\n", stderr);
        return 2;
    }
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        if (entry.path().extension() == ".png") {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    files.resize(std::min<size_t>(files.size(), 60));
    std::vector<Frame> frames;
    for (const std::string& file : files) {
        Frame frame = loadFrame(file);
        if (!frame.rows.empty()) {
            frames.push_back(std::move(frame));
        }
    }
    if (frames.empty()) {
        std::fprintf(stderr, "png_bench: no 24-bit PNGs in %s\n", argv[1]);
        return 1;
    }
    const std::filesystem::path scratch =
        argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "png_bench";
    std::filesystem::create_directories(scratch);
    for (int round = 1; round <= 3; ++round) {
        double ms[2] = {0, 0};
        uintmax_t bytes[2] = {0, 0};
        for (int writer = 0; writer < 2; ++writer) {
            std::vector<uint8_t> buffer;
            std::string error;
            const auto start = Clock::now();
            for (size_t i = 0; i < frames.size(); ++i) {
                const std::string path = (scratch / (std::to_string(i) + ".png")).string();
                const bool ok =
                    writer == 0 ? democap::writePng(path, frames[i].rows.data(), frames[i].width,
                                                    frames[i].height, buffer, error)
                                : saveWithFreeImage(frames[i], path);
                if (!ok) {
                    std::fprintf(stderr, "png_bench: cannot write %s %s\n", path.c_str(),
                                 error.c_str());
                    return 1;
                }
                bytes[writer] += std::filesystem::file_size(path);
            }
            ms[writer] = std::chrono::duration<double, std::milli>(Clock::now() - start).count() /
                         static_cast<double>(frames.size());
        }
        const double n = static_cast<double>(frames.size());
        std::printf("round %d, %zu frames of %dx%d: democap %.1f ms/frame %.0f KB, FreeImage "
                    "%.1f ms/frame %.0f KB (%.2fx the time)\n",
                    round, frames.size(), frames[0].width, frames[0].height, ms[0],
                    static_cast<double>(bytes[0]) / n / 1024.0, ms[1],
                    static_cast<double>(bytes[1]) / n / 1024.0, ms[1] / ms[0]);
    }
    std::filesystem::remove_all(scratch);
    return 0;
}
