// The texture loader on well-formed JPEGs whose EXIF block is fuzzed: the
// input is the block's TIFF directory; the rest of the file (SOI, the APP1
// segment's header and length, a valid picture) is built around it, so
// every run reaches the metadata instead of failing at the first marker.
// The mutator knows the directory's layout and sets counts, types and
// offsets to the values that break readers (the ends of the block, wrapping
// sums); libFuzzer's byte mutations do the rest.
#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "demo/assets/picture_file.h"
#include "tests/fuzz/fuzz_file.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

// A small valid baseline JPEG, made once.
const std::vector<uint8_t>& pictureBody() {
    static const std::vector<uint8_t> body = [] {
        std::vector<uint8_t> bytes;
        FIBITMAP* dib = FreeImage_Allocate(16, 8, 24);
        FIMEMORY* memory = FreeImage_OpenMemory();
        if (dib != nullptr && memory != nullptr &&
            FreeImage_SaveToMemory(FIF_JPEG, dib, memory, JPEG_QUALITYNORMAL)) {
            BYTE* data = nullptr;
            DWORD size = 0;
            FreeImage_AcquireMemory(memory, &data, &size);
            bytes.assign(data, data + size);
        }
        FreeImage_CloseMemory(memory);
        FreeImage_Unload(dib);
        if (bytes.size() < 4) {
            std::abort(); // no picture to carry the block: nothing would be tested
        }
        return bytes;
    }();
    return body;
}

constexpr size_t kMaxTiff = 65533 - 6; // an APP1 length field minus "Exif\0\0"

uint32_t read(const uint8_t* data, size_t size, size_t at, int bytes, bool big) {
    uint32_t value = 0;
    for (int i = 0; i < bytes && at + i < size; ++i) {
        const int shift = big ? 8 * (bytes - 1 - i) : 8 * i;
        value |= uint32_t(data[at + i]) << shift;
    }
    return value;
}

void write(uint8_t* data, size_t size, size_t at, uint32_t value, int bytes, bool big) {
    for (int i = 0; i < bytes && at + i < size; ++i) {
        const int shift = big ? 8 * (bytes - 1 - i) : 8 * i;
        data[at + i] = uint8_t(value >> shift);
    }
}

} // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned int seed) {
    srand(seed);
    if (size < 14 || rand() % 3 == 0) {
        return LLVMFuzzerMutate(data, size, maxSize);
    }
    const bool big = data[0] == 'M';
    // Directory: at the offset in the header, a count, 12-byte entries.
    const size_t ifd = read(data, size, 4, 4, big) % size;
    const uint32_t count = read(data, size, ifd, 2, big);
    const size_t entries = count == 0 ? 1 : count % 64 + 1;
    const size_t entry = ifd + 2 + 12 * (size_t(rand()) % entries);
    const uint32_t interesting[] = {
        0,          1,          2,          uint32_t(size - 1), uint32_t(size), uint32_t(size + 1),
        0x7fffffff, 0x80000000, 0xfffffff0, 0xffffffff,         uint32_t(ifd),  uint32_t(entry)};
    const uint32_t value = interesting[size_t(rand()) % (sizeof interesting / 4)];
    static const uint16_t kTags[] = {0x010f, 0x0110, 0x011a, 0x0112, 0x8769,
                                     0x8825, 0xa005, 0x927c, 0x9286, 0x0201};
    switch (rand() % 6) {
    case 0: // the directory's own offset
        write(data, size, 4, value, 4, big);
        break;
    case 1: // its entry count
        write(data, size, ifd, value, 2, big);
        break;
    case 2: // a tag, often one that points at another directory
        write(data, size, entry, kTags[size_t(rand()) % 10], 2, big);
        break;
    case 3: // a type (1 to 12 are defined; 13 and beyond are not)
        write(data, size, entry + 2, uint32_t(rand() % 16), 2, big);
        break;
    case 4: // a component count
        write(data, size, entry + 4, value, 4, big);
        break;
    default: // a value offset
        write(data, size, entry + 8, value, 4, big);
        break;
    }
    return size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t>& body = pictureBody();
    size = size < kMaxTiff ? size : kMaxTiff;
    std::vector<uint8_t> file = {
        0xff, 0xd8, 0xff, 0xe1, uint8_t((size + 8) >> 8), uint8_t((size + 8) & 0xff), 'E', 'x',
        'i',  'f',  0,    0};
    file.insert(file.end(), data, data + size);
    file.insert(file.end(), body.begin() + 2, body.end());
    const std::string path = writeFuzzFile(".jpg", file.data(), file.size());
    DecodedPicture picture;
    // The block says nothing about the pixels: the picture must decode.
    if (!path.empty() && !decodePictureFile(path.c_str(), &picture)) {
        std::abort();
    }
    return 0;
}
