#include "launcher/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "common/bitmap_font.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kDarkGrey = 0xFF404040u;
constexpr uint32_t kCrossBlue = 0xFF2860FFu;
constexpr uint32_t kPlayGreen = 0xFF20C040u;

constexpr int kGlyphWidth = bitmap_font::glyphWidth;
constexpr int kGlyphHeight = bitmap_font::glyphHeight;

Picture blank(int32_t width, int32_t height, uint32_t colour) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(size_t(width) * size_t(height), colour);
    return picture;
}

void put(Picture& picture, int x, int y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < picture.width && y < picture.height) {
        picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)] = colour;
    }
}

void fillRect(Picture& picture, int x, int y, int width, int height, uint32_t colour) {
    for (int row = y; row < y + height; ++row) {
        for (int column = x; column < x + width; ++column) {
            put(picture, column, row, colour);
        }
    }
}

void fillDisc(Picture& picture, double cx, double cy, double radius, uint32_t colour) {
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const double dx = x + 0.5 - cx;
            const double dy = y + 0.5 - cy;
            if (dx * dx + dy * dy <= radius * radius) {
                put(picture, x, y, colour);
            }
        }
    }
}

// One letter with its top-left corner at (x, y), each font cell a square of
// `scale` pixels; `shear` leans it (pixels of shift per pixel of height).
void drawGlyph(Picture& picture, char letter, int x, int y, int scale, double shear,
               uint32_t colour) {
    const int height = kGlyphHeight * scale;
    for (int row = 0; row < kGlyphHeight; ++row) {
        for (int column = 0; column < kGlyphWidth; ++column) {
            if (!bitmap_font::pixelSet(letter, column, row, bitmap_font::Case::AsWritten)) {
                continue;
            }
            for (int py = row * scale; py < (row + 1) * scale; ++py) {
                const int lean = int(std::lround(shear * (height - py)));
                for (int px = column * scale; px < (column + 1) * scale; ++px) {
                    put(picture, x + px + lean, y + py, colour);
                }
            }
        }
    }
}

void drawText(Picture& picture, const char* text, int x, int y, int scale, uint32_t colour) {
    const int advance = (kGlyphWidth + 1) * scale;
    for (size_t i = 0; i < std::strlen(text); ++i) {
        drawGlyph(picture, text[i], x + int(i) * advance, y, scale, 0.0, colour);
    }
}

// "fullscreen" with each letter's top at baselineTop(t), t from 0 to 1 along
// the word, and the two dots under it.
template <typename Top> Picture toggleWord(Top baselineTop, double shear) {
    Picture picture = blank(162, 139, kDarkGrey);
    const char* word = "fullscreen";
    const int scale = 3;
    const int advance = kGlyphWidth * scale + 1;
    const int count = int(std::strlen(word));
    // Leaning letters reach further right at their tops.
    const int lean = int(std::lround(shear * kGlyphHeight * scale));
    const int left = (picture.width - (count * advance - 1) - lean) / 2;
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / (count - 1);
        drawGlyph(picture, word[i], left + i * advance, int(std::lround(baselineTop(t))), scale,
                  shear, kWhite);
    }
    fillDisc(picture, 16.5, 122.5, 5.0, kWhite);
    fillDisc(picture, 145.5, 122.5, 5.0, kWhite);
    return picture;
}

} // namespace

Picture makeQuitFace() {
    Picture picture = blank(100, 100, kKeyRed);
    fillDisc(picture, 50.0, 50.0, 48.0, kBlack);
    // A diagonal cross, thick strokes, well inside the disc.
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const double dx = x + 0.5 - 50.0;
            const double dy = y + 0.5 - 50.0;
            const bool onStroke = std::fabs(dx - dy) < 9.0 || std::fabs(dx + dy) < 9.0;
            if (onStroke && std::fabs(dx) < 24.0 && std::fabs(dy) < 24.0) {
                put(picture, x, y, kCrossBlue);
            }
        }
    }
    return picture;
}

Picture makeStartFace() {
    Picture picture = blank(288, 68, kDarkGrey);
    // Play triangle pointing right.
    for (int y = 10; y < 58; ++y) {
        const int reach = 24 - std::abs(y - 34) + 24 - std::abs(y - 34);
        fillRect(picture, 24, y, std::max(0, reach), 1, kPlayGreen);
    }
    drawText(picture, "START", 96, 13, 6, kPlayGreen);
    return picture;
}

Picture makeToggleWindow() {
    // Rising on a straight line, letters leaning with it.
    return toggleWord([](double t) { return 82.0 - 62.0 * t; }, 0.25);
}

Picture makeToggleFull() {
    // Upright letters on an arch.
    return toggleWord([](double t) { return 78.0 - 56.0 * std::sin(std::numbers::pi * t); }, 0.0);
}

void drawStretched(uint32_t* target, int32_t targetWidth, int32_t targetHeight, int32_t pitch,
                   const Picture& picture, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || picture.width <= 0 || picture.height <= 0) {
        return;
    }
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(int64_t(x) + width, targetWidth);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t bottom = std::min<int64_t>(int64_t(y) + height, targetHeight);
    for (int64_t row = top; row < bottom; ++row) {
        // Sample at the centre of each target pixel.
        const auto sy = int32_t(((2 * (row - y) + 1) * picture.height) / (2 * int64_t(height)));
        uint32_t* out = target + row * pitch;
        for (int64_t column = left; column < right; ++column) {
            const auto sx =
                int32_t(((2 * (column - x) + 1) * picture.width) / (2 * int64_t(width)));
            out[column] = picture.at(sx, sy);
        }
    }
}
