// The picture decode paths, alone, for a memory checker: libpng, libjpeg
// and FreeImage are the system's, not instrumented, so an over-read that lands on mapped memory
// passes unseen in every other test. Run under valgrind by picture_memcheck.sh.
//   picture_memcheck write DIR [PNGSUITE]  the generated corpus into DIR, with
//                                     bit-flipped copies of PngSuite (not under valgrind)
//   picture_memcheck decode PATH...   decode every file (folders: all files inside)
//   picture_memcheck seeds KIND PATH...  fuzz seeds, read as the fuzz target KIND
//                                     (picture_file or read_pcx) reads its input
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app.h"
#include "demo/assets/picture_file.h"
#include "tests/demo/assets/asset_files.h"
#include "tests/demo/assets/bad_files.h"
#include "tests/fuzz/fuzz_file.h"

namespace fs = std::filesystem;

namespace {

int decoded = 0;
int refused = 0;
int drawn = 0;    // by ReadPCX
int notDrawn = 0; // by ReadPCX

void decodeAsTexture(const std::string& path) {
    DecodedPicture picture;
    if (decodePictureFile(path.c_str(), &picture)) {
        ++decoded;
        // Read every byte the upload would read.
        volatile uint8_t sink = 0;
        for (size_t i = 0; i < picture.size(); ++i) {
            sink = sink ^ picture.pixels[i];
        }
    } else {
        ++refused;
    }
}

void drawWithReadPcx(const std::string& path, int32_t width, int32_t height) {
    std::vector<uint32_t> pixels(size_t(width) * size_t(height), 0);
    AppSurface surface{pixels.data(), width, height, width * 4};
    ++(ReadPCX(path.c_str(), &surface, width, height, 0, 0) != 0 ? drawn : notDrawn);
}

void decodeFile(const std::string& path) {
    // Names the file in the checker's report when an error is looked into.
    if (std::getenv("PICTURE_MEMCHECK_TRACE") != nullptr) {
        std::fprintf(stderr, "file: %s\n", path.c_str());
    }
    decodeAsTexture(path);
    if (fs::path(path).extension() == ".png") {
        drawWithReadPcx(path, 40, 30);
    }
}

std::vector<std::string> filesIn(const std::string& path) {
    std::vector<std::string> files;
    if (fs::is_directory(path)) {
        for (const auto& entry : fs::recursive_directory_iterator(path)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path().string());
            }
        }
    } else {
        files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The corpus the robustness tests make in memory, written out: every sample
// format, bit-flipped and cut copies, huge declared sizes, lying metadata,
// and PngSuite's files flipped as BadPictures flips them.
int writeCorpus(const fs::path& out, const std::string& pngSuite) {
    fs::create_directories(out);
    TempDir scratch;
    int written = 0;
    auto put = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        written += writeBytes((out / name).string(), bytes) ? 1 : 0;
    };
    for (const SamplePicture& sample : writeSamplePictures(scratch)) {
        const std::vector<uint8_t> valid = readBytes(sample.path);
        put(sample.name + sample.extension, valid);
        for (uint32_t seed = 0; seed < 24; ++seed) {
            put(sample.name + "_flip" + std::to_string(seed) + sample.extension,
                mutate(valid, seed));
        }
        for (size_t cut : {size_t(1), size_t(17), size_t(40), valid.size() / 2}) {
            if (cut < valid.size()) {
                put(sample.name + "_cut" + std::to_string(cut) + sample.extension,
                    std::vector<uint8_t>(valid.begin(), valid.begin() + long(cut)));
            }
        }
        if (sample.name == "tga32_rle") {
            // Fewer bytes than rows: the reader's cache would be under a pixel.
            std::vector<uint8_t> shortRows = valid;
            shortRows[14] = 0x58;
            shortRows[15] = 0x02;
            put("tga32_rle_short_rows.tga", shortRows);
            // A TGA 2.0 footer whose extension area declares a huge thumbnail.
            std::vector<uint8_t> footer = valid;
            const uint32_t extension = uint32_t(footer.size());
            std::vector<uint8_t> area(495, 0);
            area[0] = 0xef; // the area's size, 495
            area[1] = 0x01;
            area[482] = 0x10; // postage stamp offset: inside the file
            footer.insert(footer.end(), area.begin(), area.end());
            for (int i = 0; i < 4; ++i) {
                footer.push_back(uint8_t(extension >> (8 * i)));
            }
            footer.insert(footer.end(), 4, 0); // no developer area
            const char* signature = "TRUEVISION-XFILE.";
            footer.insert(footer.end(), signature, signature + 18);
            put("tga32_rle_thumbnail_lies.tga", footer);
            put("tga15_rle_packet_past_end.tga", targaPacketPastTheEnd());
        }
        std::vector<uint8_t> huge = valid;
        if (declareSize(sample.extension, huge, 60000, 60000)) {
            put(sample.name + "_huge" + sample.extension, huge);
        }
    }
    for (const SamplePicture& c : writeMetadataCases(scratch)) {
        put(c.name + c.extension, readBytes(c.path));
    }
    int copy = 0;
    for (const FlippedFile& file : flippedPngSuite(pngSuite)) {
        put("pngsuite_flip" + std::to_string(copy++) + ".png", file.bytes);
    }
    std::printf("picture_memcheck: %d files written to %s\n", written, out.c_str());
    return written > 0 ? 0 : 1;
}

// Fuzz seeds are inputs of a fuzz target, not files: read them the same way.
void decodeSeed(const std::string& kind, const std::string& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    if (kind == "picture_file" && !bytes.empty()) {
        const char* extension = kPictureFuzzExtensions[bytes[0] % kPictureFuzzExtensionCount];
        decodeAsTexture(writeFuzzFile(extension, bytes.data() + 1, bytes.size() - 1));
    } else if (kind == "read_pcx" && bytes.size() >= kReadPcxFuzzHeader) {
        drawWithReadPcx(writeFuzzFile(".png", bytes.data() + kReadPcxFuzzHeader,
                                      bytes.size() - kReadPcxFuzzHeader),
                        1 + bytes[0] % 64, 1 + bytes[1] % 64);
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && (argc == 3 || argc == 4)) {
        return writeCorpus(argv[2], argc == 4 ? argv[3] : "");
    }
    if (mode == "decode" && argc > 2) {
        for (int i = 2; i < argc; ++i) {
            for (const std::string& file : filesIn(argv[i])) {
                decodeFile(file);
            }
        }
    } else if (mode == "seeds" && argc > 3) {
        for (int i = 3; i < argc; ++i) {
            for (const std::string& file : filesIn(argv[i])) {
                decodeSeed(argv[2], file);
            }
        }
    } else {
        std::fprintf(stderr, "usage: picture_memcheck write DIR [PNGSUITE] | decode PATH... | "
                             "seeds picture_file|read_pcx PATH...\n");
        return mode == "--help" ? 0 : 2;
    }
    std::printf("picture_memcheck: %d decoded, %d refused; ReadPCX drew %d, refused %d\n", decoded,
                refused, drawn, notDrawn);
    return 0;
}
