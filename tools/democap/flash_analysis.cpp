#include "tools/democap/flash_analysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <deque>
#include <string_view>

#include "common/bitmap_font.h"

namespace flash {

namespace {

// sRGB code to linear light.
std::array<float, 256> linearTable() {
    std::array<float, 256> table{};
    for (int i = 0; i < 256; ++i) {
        const double c = i / 255.0;
        table[i] =
            static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return table;
}

// What a pixel shows: relative luminance, u'v' chromaticity, red share.
struct Look {
    float luminance;
    float u;
    float v;
    float redShare;
};

Look lookOf(const std::array<float, 256>& linear, const uint8_t* rgb) {
    const float r = linear[rgb[0]];
    const float g = linear[rgb[1]];
    const float b = linear[rgb[2]];
    const float x = 0.4124f * r + 0.3576f * g + 0.1805f * b;
    const float y = 0.2126f * r + 0.7152f * g + 0.0722f * b;
    const float z = 0.0193f * r + 0.1192f * g + 0.9505f * b;
    const float d = x + 15 * y + 3 * z;
    const float sum = r + g + b;
    // Black has no colour of its own: take the white point's (D65).
    const float u = d > 1e-6f ? 4 * x / d : 0.1978f;
    const float v = d > 1e-6f ? 9 * y / d : 0.4683f;
    return Look{y, u, v, sum > 1e-6f ? r / sum : 0.0f};
}

// Per pixel: the swing of luminance under way (from its last peak or
// valley to the furthest it has gone since, which way, and whether it has
// counted yet), and the colour at the last red transition.
struct Pixel {
    float from = 0;
    float extreme = 0;
    int8_t way = 0; // +1 rising, -1 falling, 0 not yet known
    bool counted = false;
    float u = 0;
    float v = 0;
    float redShare = 0;
};

enum Swing : uint8_t { GeneralUp = 1, GeneralDown = 2, RedUp = 4, RedDown = 8 };
constexpr int kKinds = 4;

// A field's transitions of one kind (general or red), same-way runs joined.
struct Transitions {
    int8_t lastWay = 0;
    std::deque<int32_t> frames;
};

int flashesIn(Transitions& t, int32_t frame, int framesPerSecond, int32_t* oldest) {
    while (!t.frames.empty() && t.frames.front() <= frame - framesPerSecond) {
        t.frames.pop_front();
    }
    if (oldest != nullptr && !t.frames.empty()) {
        *oldest = t.frames.front();
    }
    return static_cast<int>(t.frames.size()) / 2;
}

void note(Transitions& t, int8_t way, int32_t frame) {
    if (way != t.lastWay) {
        t.lastWay = way;
        t.frames.push_back(frame);
    }
}

std::vector<int> positions(int size, int field) {
    std::vector<int> at;
    const int step = std::max(1, field / 4);
    for (int p = 0; p + field <= size; p += step) {
        at.push_back(p);
    }
    if (at.empty() || at.back() != size - field) {
        at.push_back(size - field);
    }
    return at;
}

} // namespace

struct Analyser::State {
    int width;
    int height;
    Rules rules;
    std::array<float, 256> linear = linearTable();
    int fieldWidth;
    int fieldHeight;
    std::vector<int> xs;
    std::vector<int> ys;
    std::vector<Pixel> pixels;
    std::vector<uint8_t> swings;
    std::vector<int32_t> sums; // (width + 1) x (height + 1) per kind
    std::vector<Transitions> general;
    std::vector<Transitions> red;
    bool started = false;
    Report report;
    Stretch open{};
    bool inStretch = false;
};

Analyser::Analyser(int width, int height, const Rules& rules) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.width = width;
    s.height = height;
    s.rules = rules;
    s.fieldWidth = std::max(1, static_cast<int>(std::lround(width * rules.fieldShare)));
    s.fieldHeight = std::max(1, static_cast<int>(std::lround(height * rules.fieldShare)));
    s.xs = positions(width, s.fieldWidth);
    s.ys = positions(height, s.fieldHeight);
    s.pixels.resize(static_cast<size_t>(width) * height);
    s.swings.resize(s.pixels.size());
    s.sums.resize(static_cast<size_t>(width + 1) * (height + 1) * kKinds);
    s.general.resize(s.xs.size() * s.ys.size());
    s.red.resize(s.general.size());
}

Analyser::~Analyser() = default;

void Analyser::add(int32_t frame, const uint8_t* rgb) {
    State& s = *state_;
    const Rules& r = s.rules;
    if (!s.started) {
        s.started = true;
        s.report.firstFrame = frame;
        s.report.framesPerSecond = r.framesPerSecond;
        for (size_t i = 0; i < s.pixels.size(); ++i) {
            const Look look = lookOf(s.linear, rgb + 3 * i);
            s.pixels[i] =
                Pixel{look.luminance, look.luminance, 0, false, look.u, look.v, look.redShare};
        }
    }
    // Each pixel's swings in this frame.
    for (size_t i = 0; i < s.pixels.size(); ++i) {
        const Look look = lookOf(s.linear, rgb + 3 * i);
        Pixel& p = s.pixels[i];
        uint8_t swing = 0;
        const float l = look.luminance;
        if (p.way == 0) {
            if (std::fabs(l - p.from) >= r.leastLuminanceSwing) {
                p.way = l > p.from ? 1 : -1;
                p.extreme = l;
            }
        } else if ((l - p.extreme) * p.way > 0) {
            p.extreme = l; // the swing goes on
        } else if ((p.extreme - l) * p.way >= r.leastLuminanceSwing) {
            p.from = p.extreme; // a peak or a valley: a new swing
            p.extreme = l;
            p.way = static_cast<int8_t>(-p.way);
            p.counted = false;
        }
        // A swing counts once, when it is large enough with its darker end
        // dark enough (a fall from white may only count on reaching below).
        if (p.way != 0 && !p.counted && std::fabs(p.extreme - p.from) >= r.leastLuminanceSwing &&
            std::min(p.from, p.extreme) < r.darkerBelow) {
            p.counted = true;
            swing |= p.way > 0 ? GeneralUp : GeneralDown;
        }
        const bool wasRed = p.redShare >= r.redShare;
        const bool isRed = look.redShare >= r.redShare;
        const float du = look.u - p.u;
        const float dv = look.v - p.v;
        if ((wasRed || isRed) && std::sqrt(du * du + dv * dv) > r.leastChromaticSwing) {
            swing |= look.redShare > p.redShare ? RedUp : RedDown;
            p.u = look.u;
            p.v = look.v;
            p.redShare = look.redShare;
        } else if (!wasRed && !isRed) {
            p.u = look.u; // no red either side: follow the colour
            p.v = look.v;
            p.redShare = look.redShare;
        }
        s.swings[i] = swing;
    }
    // Summed areas of each kind, then each field's share.
    const int w1 = s.width + 1;
    auto sum = [&s, w1](int kind, int x, int y) -> int32_t& {
        return s.sums[(static_cast<size_t>(y) * w1 + x) * kKinds + kind];
    };
    for (int y = 0; y < s.height; ++y) {
        int32_t row[kKinds] = {0, 0, 0, 0};
        for (int x = 0; x < s.width; ++x) {
            const uint8_t swing = s.swings[static_cast<size_t>(y) * s.width + x];
            for (int k = 0; k < kKinds; ++k) {
                row[k] += (swing >> k) & 1;
                sum(k, x + 1, y + 1) = sum(k, x + 1, y) + row[k];
            }
        }
    }
    const double fieldArea = static_cast<double>(s.fieldWidth) * s.fieldHeight;
    const double least = r.areaShare * fieldArea;
    int generalMost = 0;
    int redMost = 0;
    double areaMost = 0;
    int32_t oldest = frame;
    size_t f = 0;
    for (const int y : s.ys) {
        for (const int x : s.xs) {
            int32_t area[kKinds];
            for (int k = 0; k < kKinds; ++k) {
                area[k] = sum(k, x + s.fieldWidth, y + s.fieldHeight) -
                          sum(k, x, y + s.fieldHeight) - sum(k, x + s.fieldWidth, y) + sum(k, x, y);
                areaMost = std::max(areaMost, area[k] / fieldArea);
            }
            // Both ways at once over a quarter each: count the larger.
            if (area[0] > least || area[1] > least) {
                note(s.general[f], area[0] >= area[1] ? 1 : -1, frame);
            }
            if (area[2] > least || area[3] > least) {
                note(s.red[f], area[2] >= area[3] ? 1 : -1, frame);
            }
            int32_t generalOldest = frame;
            int32_t redOldest = frame;
            const int g = flashesIn(s.general[f], frame, r.framesPerSecond, &generalOldest);
            const int rf = flashesIn(s.red[f], frame, r.framesPerSecond, &redOldest);
            if (g > r.mostFlashesPerSecond) {
                oldest = std::min(oldest, generalOldest);
            }
            if (rf > r.mostFlashesPerSecond) {
                oldest = std::min(oldest, redOldest);
            }
            generalMost = std::max(generalMost, g);
            redMost = std::max(redMost, rf);
            ++f;
        }
    }
    // This frame into its second and the failing stretches.
    const int32_t secondIndex = frame / r.framesPerSecond - s.report.firstFrame / r.framesPerSecond;
    if (static_cast<int32_t>(s.report.seconds.size()) <= secondIndex) {
        s.report.seconds.resize(static_cast<size_t>(secondIndex) + 1);
    }
    Second& second = s.report.seconds[static_cast<size_t>(secondIndex)];
    second.generalFlashes = std::max(second.generalFlashes, generalMost);
    second.redFlashes = std::max(second.redFlashes, redMost);
    second.area = std::max(second.area, areaMost);
    const int worst = std::max(generalMost, redMost);
    if (worst > r.mostFlashesPerSecond) {
        if (!s.inStretch) {
            s.inStretch = true;
            s.open = Stretch{oldest, frame, 0, false};
            // One stretch where this one's flashes reach back into the last.
            if (!s.report.failing.empty() && oldest <= s.report.failing.back().last + 1) {
                s.open = s.report.failing.back();
                s.report.failing.pop_back();
            }
        }
        s.open.first = std::min(s.open.first, oldest);
        s.open.last = frame;
        if (worst > s.open.worstFlashes) {
            s.open.worstFlashes = worst;
            s.open.red = redMost > generalMost;
        }
    } else if (s.inStretch) {
        s.inStretch = false;
        s.report.failing.push_back(s.open);
    }
    ++s.report.frames;
}

Report Analyser::finish() {
    State& s = *state_;
    if (s.inStretch) {
        s.inStretch = false;
        s.report.failing.push_back(s.open);
    }
    return s.report;
}

std::string reportText(const Report& report, const char* (*sceneAt)(int32_t frame)) {
    std::string text;
    char line[256];
    const double fps = report.framesPerSecond;
    auto scene = [sceneAt](int32_t frame) { return sceneAt != nullptr ? sceneAt(frame) : ""; };
    std::snprintf(line, sizeof line,
                  "Flashing after WCAG 2.3.1 (general and red flash thresholds): %s\n"
                  "frames %d to %d; at most 3 flashes in any one second over a quarter of a "
                  "10-degree field (a third of the frame each way)\n\n",
                  report.passes() ? "PASSES" : "FAILS", report.firstFrame,
                  report.firstFrame + report.frames - 1);
    text += line;
    if (!report.failing.empty()) {
        text += "Failing stretches:\n";
        for (const Stretch& s : report.failing) {
            std::snprintf(line, sizeof line,
                          "  frames %5d to %5d (%6.2f s to %6.2f s), %-16s worst %d %s flashes in "
                          "one second\n",
                          s.first, s.last, s.first / fps, (s.last + 1) / fps,
                          scene((s.first + s.last) / 2), s.worstFlashes, s.red ? "red" : "general");
            text += line;
        }
        text += "\n";
    }
    text += "second  general  red  area  scene\n";
    const int32_t firstSecond = report.firstFrame / report.framesPerSecond;
    for (size_t i = 0; i < report.seconds.size(); ++i) {
        const Second& s = report.seconds[i];
        const int32_t second = firstSecond + static_cast<int32_t>(i);
        std::snprintf(line, sizeof line, "%6d  %7d  %3d  %3.0f%%  %s\n", second, s.generalFlashes,
                      s.redFlashes, 100.0 * s.area,
                      scene(std::max(report.firstFrame, second * report.framesPerSecond)));
        text += line;
    }
    return text;
}

namespace {

using Colour = std::array<uint8_t, 3>;

// Drawn top row first, turned over at the end.
struct Canvas {
    int width;
    int height;
    std::vector<uint8_t> rgb;

    void fill(int x0, int y0, int w, int h, Colour c) {
        for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y) {
            for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x) {
                std::copy(c.begin(), c.end(),
                          rgb.begin() + 3 * (static_cast<size_t>(y) * width + x));
            }
        }
    }

    void text(int x0, int y0, std::string_view line, Colour c) {
        for (size_t i = 0; i < line.size(); ++i) {
            for (int column = 0; column < bitmap_font::glyphWidth; ++column) {
                for (int row = 0; row < bitmap_font::glyphHeight; ++row) {
                    if (bitmap_font::pixelSet(line[i], column, row)) {
                        fill(x0 + static_cast<int>(i) * bitmap_font::advance + column, y0 + row, 1,
                             1, c);
                    }
                }
            }
        }
    }
};

} // namespace

Plot plotPicture(const Report& report, const char* (*sceneAt)(int32_t frame)) {
    constexpr int kColumn = 6; // pixels a second
    constexpr int kPerFlash = 16;
    constexpr int kLeft = 28;
    constexpr int kTop = 24;
    constexpr int kBand = 14;
    constexpr Colour kGround{16, 16, 24};
    constexpr Colour kInk{220, 220, 220};
    constexpr Colour kDim{90, 90, 100};
    constexpr Colour kGeneral{200, 200, 200};
    constexpr Colour kPast{255, 150, 40};
    constexpr Colour kRed{230, 40, 40};
    const int seconds = static_cast<int>(report.seconds.size());
    int most = 6;
    for (const Second& s : report.seconds) {
        most = std::max({most, s.generalFlashes, s.redFlashes});
    }
    const int chartHeight = most * kPerFlash;
    Canvas c{kLeft + seconds * kColumn + 12, kTop + chartHeight + 4 + kBand + 20, {}};
    c.rgb.resize(static_cast<size_t>(c.width) * c.height * 3);
    c.fill(0, 0, c.width, c.height, kGround);
    const int base = kTop + chartHeight; // the axis, below the bars
    const int fps = report.framesPerSecond;
    c.text(kLeft, 6,
           std::string("FLASHES PER SECOND AFTER WCAG 2.3.1, FRAMES ") +
               std::to_string(report.firstFrame) + " TO " +
               std::to_string(report.firstFrame + report.frames - 1) + ": " +
               (report.passes() ? "PASSES" : "FAILS"),
           kInk);
    for (int n = 0; n <= most; ++n) {
        const int y = base - n * kPerFlash;
        c.fill(kLeft - 3, y, 3, 1, kDim);
        if (n % 3 == 0) {
            c.text(kLeft - 6 - bitmap_font::textWidth(std::to_string(n)), y - 3, std::to_string(n),
                   kInk);
        }
    }
    for (int i = 0; i < seconds; ++i) {
        const Second& s = report.seconds[static_cast<size_t>(i)];
        const int x = kLeft + i * kColumn;
        c.fill(x, base - s.generalFlashes * kPerFlash, 4, s.generalFlashes * kPerFlash,
               s.generalFlashes > 3 ? kPast : kGeneral);
        c.fill(x + 4, base - s.redFlashes * kPerFlash, 2, s.redFlashes * kPerFlash, kRed);
    }
    // The limit: at most three a second.
    for (int x = kLeft; x < kLeft + seconds * kColumn; x += 4) {
        c.fill(x, base - 3 * kPerFlash, 2, 1, kRed);
    }
    c.fill(kLeft, base, seconds * kColumn, 1, kDim);
    // The scenes, each a stretch of the band, named where the name fits.
    const int32_t firstSecond = report.firstFrame / fps;
    int from = 0;
    bool shade = false;
    for (int x = 1; x <= seconds * kColumn; ++x) {
        auto frameAt = [&](int px) { return (firstSecond * kColumn + px) * fps / kColumn; };
        const char* name = sceneAt != nullptr ? sceneAt(frameAt(from)) : "";
        if (x < seconds * kColumn && sceneAt != nullptr &&
            std::string_view(sceneAt(frameAt(x))) == name) {
            continue;
        }
        c.fill(kLeft + from, base + 4, x - from, kBand,
               shade ? Colour{60, 60, 80} : Colour{40, 40, 56});
        if (bitmap_font::textWidth(name) + 4 <= x - from) {
            c.text(kLeft + from + 2, base + 7, name, kInk);
        }
        shade = !shade;
        from = x;
    }
    for (int i = 0; i < seconds; i += 10) {
        const std::string label = std::to_string(firstSecond + i) + "S";
        c.fill(kLeft + i * kColumn, base + 4 + kBand, 1, 3, kDim);
        c.text(kLeft + i * kColumn, base + 4 + kBand + 5, label, kDim);
    }
    Plot plot{c.width, c.height, std::vector<uint8_t>(c.rgb.size())};
    const size_t row = static_cast<size_t>(c.width) * 3;
    for (int y = 0; y < c.height; ++y) {
        std::copy_n(c.rgb.begin() + static_cast<ptrdiff_t>(y * row), row,
                    plot.rgb.begin() + static_cast<ptrdiff_t>((c.height - 1 - y) * row));
    }
    return plot;
}

} // namespace flash
