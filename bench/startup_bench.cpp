// How long the start-up takes, and how that splits between decoding the
// pictures, building mipmaps and decoding the music. With --package it reads
// the real data folder; without, a made-up one of 512 x 512 pictures (JPEG
// and PNG as the manifest names them) and a short tone.
//   SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy build/bench/startup_bench [--package DIR]
//   [runs]
#include <FreeImage.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "demo/assets/manifest.h"
#include "demo/assets/startup.h"
#include "demo/assets/texture_loader.h"
#include "demo/runtime/sound.h"
#include "demo/timeline/demo_state.h"
#include "tests/demo/assets/asset_files.h"
#include "tests/support/gl_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Photo-like content: smooth gradients with some texture, so the decoders
// do real work.
PixelFn photo(int seed) {
    return [seed](int x, int y) {
        const int n = (x * 7 + y * 13 + seed * 31) ^ (x * y + seed);
        return Rgba{static_cast<uint8_t>((x + seed * 9) / 2 + (n & 15)),
                    static_cast<uint8_t>((y + seed * 5) / 2 + ((n >> 4) & 15)),
                    static_cast<uint8_t>((x + y) / 4 + ((n >> 8) & 31)), 255};
    };
}

std::vector<std::string> writeData(const TempDir& dir) {
    std::filesystem::create_directories(dir.path() / "data");
    std::vector<std::string> files = showPictureFiles();
    int seed = 0;
    for (const std::string& file : files) {
        const bool jpeg = file.find(".jp") != std::string::npos;
        writePicture(dir.file(file), 512, 512, jpeg ? 24 : 32, jpeg ? SaveAs::Jpeg : SaveAs::Png,
                     photo(seed++));
    }
    writeOggTone(dir.file(kMusicPath), 1.0f);
    return files;
}

// The package's own pictures, in the order the start-up loads them.
std::vector<std::string> packageFiles() {
    std::vector<std::string> files = showPictureFiles();
    return files;
}

} // namespace

int main(int argc, char** argv) {
    mallopt(M_ARENA_MAX, 1); // as the demo runs
    int runs = 5;
    std::string package;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--package") == 0 && i + 1 < argc) {
            package = argv[++i];
        } else {
            runs = std::max(1, std::atoi(argv[i]));
        }
    }
    GlHarness gl;
    if (!gl.ok()) {
        return 1;
    }
    TempDir dir;
    std::vector<std::string> files;
    if (package.empty()) {
        files = writeData(dir);
    } else {
        files = packageFiles();
    }
    WorkingDirectory cwd(package.empty() ? dir.path() : std::filesystem::path(package));

    std::vector<double> whole, decode, mipmaps, music;
    for (int run = 0; run < runs; ++run) {
        auto state = std::make_unique<DemoState>();
        StartupHooks hooks;
        hooks.swapBuffers = [&] { gl.swap(); };
        hooks.fail = [](int, const char* reason) { std::fprintf(stderr, "%s\n", reason); };
        glFinish();
        auto start = Clock::now();
        startDemo(*state, hooks);
        glFinish();
        whole.push_back(msSince(start));
        FSOUND_Close();
        glDeleteTextures(kTextureSlots, state->textures.data());

        // The same pictures, decoding alone (load and conversion) ...
        std::vector<FIBITMAP*> bitmaps;
        start = Clock::now();
        for (const std::string& file : files) {
            const bool jpeg = file.find(".jp") != std::string::npos;
            bitmaps.push_back(
                FreeImage_Load(jpeg ? FIF_JPEG : FIF_PNG, file.c_str(), jpeg ? JPEG_ACCURATE : 0));
        }
        decode.push_back(msSince(start));
        // ... and mipmaps alone, from buffers already decoded.
        std::vector<GLuint> names(bitmaps.size());
        glGenTextures(static_cast<GLsizei>(names.size()), names.data());
        start = Clock::now();
        for (size_t i = 0; i < bitmaps.size(); ++i) {
            glBindTexture(GL_TEXTURE_2D, names[i]);
            if (bitmaps[i] == nullptr) {
                continue;
            }
            const bool alpha = FreeImage_GetBPP(bitmaps[i]) == 32;
            glPixelStorei(GL_UNPACK_ALIGNMENT, 4); // FreeImage pads rows to 4 bytes
            gluBuild2DMipmaps(GL_TEXTURE_2D, 4, static_cast<GLint>(FreeImage_GetWidth(bitmaps[i])),
                              static_cast<GLint>(FreeImage_GetHeight(bitmaps[i])),
                              alpha ? GL_BGRA : GL_BGR, GL_UNSIGNED_BYTE,
                              FreeImage_GetBits(bitmaps[i]));
        }
        glFinish();
        mipmaps.push_back(msSince(start));
        glDeleteTextures(static_cast<GLsizei>(names.size()), names.data());
        for (FIBITMAP* bitmap : bitmaps) {
            FreeImage_Unload(bitmap);
        }
        // ... and the music alone, with the sound device already open.
        FSOUND_Init(32000, 64, 0);
        start = Clock::now();
        FSOUND_SAMPLE* sample =
            FSOUND_Sample_Load(FSOUND_UNMANAGED, kMusicPath, FSOUND_NORMAL, 0, 0);
        music.push_back(msSince(start));
        FSOUND_Sample_Free(sample);
        FSOUND_Close();
    }
    std::printf("startDemo, %zu pictures (%s, %d runs): median %.0f ms\n", files.size(),
                package.empty() ? "made-up 512x512" : "the package's", runs, median(whole));
    std::printf("  pictures decoding alone: median %.0f ms; mipmaps alone: median %.0f ms; music "
                "decoding alone: median %.0f ms\n",
                median(decode), median(mipmaps), median(music));
    return 0;
}
