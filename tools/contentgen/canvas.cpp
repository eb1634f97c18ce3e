#include "canvas.h"

#include "common/bitmap_font.h"

#include <FreeImage.h>

#include <memory>

namespace contentgen {

namespace {

std::uint32_t mixBits(std::uint32_t h) {
    h ^= h >> 16;
    h *= 0x7feb352dU;
    h ^= h >> 15;
    h *= 0x846ca68bU;
    h ^= h >> 16;
    return h;
}

double smooth(double t) {
    return t * t * (3.0 - 2.0 * t);
}

std::uint8_t toByte(float v) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

struct BitmapDeleter {
    void operator()(FIBITMAP* b) const { FreeImage_Unload(b); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

} // namespace

double hashNoise(int x, int y, std::uint32_t seed) {
    const std::uint32_t h = mixBits(static_cast<std::uint32_t>(x) * 0x9E3779B1U ^
                                    mixBits(static_cast<std::uint32_t>(y) + seed * 0x85EBCA77U));
    return (h & 0xFFFFFF) / static_cast<double>(0x1000000);
}

double valueNoise(double x, double y, std::uint32_t seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const double tx = smooth(x - fx), ty = smooth(y - fy);
    const double a = hashNoise(ix, iy, seed), b = hashNoise(ix + 1, iy, seed);
    const double c = hashNoise(ix, iy + 1, seed), d = hashNoise(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

double sdCircle(double x, double y, double cx, double cy, double r) {
    return std::hypot(x - cx, y - cy) - r;
}

double sdEllipse(double x, double y, double cx, double cy, double rx, double ry) {
    // Scaled circle distance: exact on the axes, close enough elsewhere for smooth edges.
    const double k = std::hypot((x - cx) / rx, (y - cy) / ry);
    return (k - 1.0) * std::min(rx, ry);
}

double sdRoundBox(double x, double y, double bx, double by, double bw, double bh, double radius) {
    const double hx = bw * 0.5, hy = bh * 0.5;
    const double qx = std::abs(x - (bx + hx)) - hx + radius;
    const double qy = std::abs(y - (by + hy)) - hy + radius;
    return std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) -
           radius;
}

double sdSegment(double x, double y, double ax, double ay, double bx, double by, double halfWidth) {
    const double px = x - ax, py = y - ay, dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    const double h = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(px - dx * h, py - dy * h) - halfWidth;
}

double sdPolygon(double x, double y, const std::vector<Point>& v) {
    // Distance to the nearest edge, signed by the even-odd rule.
    double d = 1e30;
    bool inside = false;
    for (std::size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) {
        const double ex = v[j].x - v[i].x, ey = v[j].y - v[i].y;
        const double wx = x - v[i].x, wy = y - v[i].y;
        const double len2 = ex * ex + ey * ey;
        const double h = len2 > 0 ? std::clamp((wx * ex + wy * ey) / len2, 0.0, 1.0) : 0.0;
        d = std::min(d, std::hypot(wx - ex * h, wy - ey * h));
        if ((v[i].y > y) != (v[j].y > y) &&
            x < (v[j].x - v[i].x) * (y - v[i].y) / (v[j].y - v[i].y) + v[i].x) {
            inside = !inside;
        }
    }
    return inside ? -d : d;
}

Canvas::Canvas(int width, int height, double designWidth, double designHeight)
    : width_(width), height_(height), designW_(designWidth), designH_(designHeight),
      px_(static_cast<std::size_t>(width) * height, Color{0, 0, 0, 0}) {}

void Canvas::clear(Color c) {
    std::fill(px_.begin(), px_.end(), c);
}

void Canvas::put(Color& dst, const Color& src, float coverage, Blend blend) {
    const float sa = std::clamp(src.a, 0.0f, 1.0f) * coverage;
    switch (blend) {
    case Blend::Over: {
        const float outA = sa + dst.a * (1.0f - sa);
        if (outA <= 0.0f) {
            dst = {0, 0, 0, 0};
            return;
        }
        const float k = dst.a * (1.0f - sa);
        dst.r = (src.r * sa + dst.r * k) / outA;
        dst.g = (src.g * sa + dst.g * k) / outA;
        dst.b = (src.b * sa + dst.b * k) / outA;
        dst.a = outA;
        return;
    }
    case Blend::Add:
        dst.r = std::min(1.0f, dst.r + src.r * sa);
        dst.g = std::min(1.0f, dst.g + src.g * sa);
        dst.b = std::min(1.0f, dst.b + src.b * sa);
        dst.a = std::max(dst.a, sa);
        return;
    case Blend::Erase:
        dst.a *= 1.0f - sa;
        return;
    case Blend::Replace:
        dst.r += (src.r - dst.r) * coverage;
        dst.g += (src.g - dst.g) * coverage;
        dst.b += (src.b - dst.b) * coverage;
        dst.a += (src.a - dst.a) * coverage;
        return;
    }
}

void Canvas::circle(double cx, double cy, double r, Color c, Blend blend) {
    draw(
        {cx - r, cy - r, cx + r, cy + r},
        [=](double x, double y) { return sdCircle(x, y, cx, cy, r); }, c, blend);
}

void Canvas::ellipse(double cx, double cy, double rx, double ry, Color c, Blend blend) {
    draw(
        {cx - rx, cy - ry, cx + rx, cy + ry},
        [=](double x, double y) { return sdEllipse(x, y, cx, cy, rx, ry); }, c, blend);
}

void Canvas::ring(double cx, double cy, double r, double halfWidth, Color c, Blend blend) {
    const double o = r + halfWidth;
    draw(
        {cx - o, cy - o, cx + o, cy + o},
        [=](double x, double y) { return std::abs(sdCircle(x, y, cx, cy, r)) - halfWidth; }, c,
        blend);
}

void Canvas::roundRect(double x, double y, double w, double h, double radius, Color c,
                       Blend blend) {
    draw(
        {x, y, x + w, y + h},
        [=](double px, double py) { return sdRoundBox(px, py, x, y, w, h, radius); }, c, blend);
}

void Canvas::line(double x0, double y0, double x1, double y1, double width, Color c, Blend blend) {
    const double hw = width * 0.5;
    draw(
        {std::min(x0, x1) - hw, std::min(y0, y1) - hw, std::max(x0, x1) + hw,
         std::max(y0, y1) + hw},
        [=](double x, double y) { return sdSegment(x, y, x0, y0, x1, y1, hw); }, c, blend);
}

void Canvas::polygon(const std::vector<Point>& pts, Color c, Blend blend) {
    if (pts.size() < 3) {
        return;
    }
    Box b{pts[0].x, pts[0].y, pts[0].x, pts[0].y};
    for (const auto& p : pts) {
        b.x0 = std::min(b.x0, p.x);
        b.y0 = std::min(b.y0, p.y);
        b.x1 = std::max(b.x1, p.x);
        b.y1 = std::max(b.y1, p.y);
    }
    draw(
        b, [&pts](double x, double y) { return sdPolygon(x, y, pts); }, c, blend);
}

void Canvas::glow(double cx, double cy, double r, Color c) {
    draw(
        {cx - r, cy - r, cx + r, cy + r},
        [=](double x, double y) { return sdCircle(x, y, cx, cy, r); },
        [=](double x, double y) {
            const double t = 1.0 - std::hypot(x - cx, y - cy) / r;
            return withAlpha(c, static_cast<float>(c.a * std::max(0.0, t) * std::max(0.0, t)));
        },
        Blend::Add);
}

double Canvas::textWidth(std::string_view s, double dot) {
    return bitmap_font::textWidth(s) * dot;
}

void Canvas::text(std::string_view s, double x, double y, double dot, Color c, Align align,
                  Blend blend) {
    double left = x;
    if (align == Align::Centre) {
        left -= textWidth(s, dot) * 0.5;
    } else if (align == Align::Right) {
        left -= textWidth(s, dot);
    }
    const double total = textWidth(s, dot);
    const double h = bitmap_font::glyphHeight * dot;
    // One pass over the whole line: each pixel asks which font pixel it lies nearest to, so
    // neighbouring font pixels join without seams.
    draw(
        {left, y, left + total, y + h},
        [=](double px, double py) {
            const double fx = (px - left) / dot, fy = (py - y) / dot;
            const int cx = static_cast<int>(std::floor(fx)), cy = static_cast<int>(std::floor(fy));
            double best = 1e9;
            for (int ny = cy - 1; ny <= cy + 1; ++ny) {
                for (int nx = cx - 1; nx <= cx + 1; ++nx) {
                    if (nx < 0 || ny < 0) {
                        continue;
                    }
                    const std::size_t ch = static_cast<std::size_t>(nx / bitmap_font::advance);
                    const int col = nx % bitmap_font::advance;
                    if (ch >= s.size() || !bitmap_font::pixelSet(s[ch], col, ny)) {
                        continue;
                    }
                    best = std::min(best, sdRoundBox(fx, fy, nx, ny, 1.0, 1.0, 0.0) * dot);
                }
            }
            return best;
        },
        c, blend);
}

void Canvas::outlinedText(std::string_view s, double x, double y, double dot, Color c, Color rim,
                          double rimWidth, Align align) {
    double left = x;
    if (align == Align::Centre) {
        left -= textWidth(s, dot) * 0.5;
    } else if (align == Align::Right) {
        left -= textWidth(s, dot);
    }
    const double total = textWidth(s, dot);
    const double h = bitmap_font::glyphHeight * dot;
    const double reach = rimWidth + dot;
    draw(
        {left - reach, y - reach, left + total + reach, y + h + reach},
        [=](double px, double py) {
            const double fx = (px - left) / dot, fy = (py - y) / dot;
            const int cx = static_cast<int>(std::floor(fx)), cy = static_cast<int>(std::floor(fy));
            const int span = 1 + static_cast<int>(std::ceil(rimWidth / dot));
            double best = 1e9;
            for (int ny = cy - span; ny <= cy + span; ++ny) {
                for (int nx = cx - span; nx <= cx + span; ++nx) {
                    if (nx < 0 || ny < 0) {
                        continue;
                    }
                    const std::size_t ch = static_cast<std::size_t>(nx / bitmap_font::advance);
                    const int col = nx % bitmap_font::advance;
                    if (ch >= s.size() || !bitmap_font::pixelSet(s[ch], col, ny)) {
                        continue;
                    }
                    best = std::min(best, sdRoundBox(fx, fy, nx, ny, 1.0, 1.0, 0.0) * dot);
                }
            }
            return best - rimWidth;
        },
        rim);
    text(s, left, y, dot, c);
}

std::string Canvas::savePng(const std::string& path, bool alpha, bool flipRows) const {
    const int bpp = alpha ? 32 : 24;
    Bitmap bmp(FreeImage_Allocate(width_, height_, bpp));
    if (!bmp) {
        return "cannot allocate a picture for " + path;
    }
    const int step = bpp / 8;
    for (int y = 0; y < height_; ++y) {
        // FreeImage keeps its rows bottom-up: scanline 0 is the bottom row as stored.
        const int scan = flipRows ? y : height_ - 1 - y;
        BYTE* row = FreeImage_GetScanLine(bmp.get(), scan);
        for (int x = 0; x < width_; ++x) {
            const Color& c = at(x, y);
            BYTE* p = row + x * step;
            p[FI_RGBA_RED] = toByte(c.r);
            p[FI_RGBA_GREEN] = toByte(c.g);
            p[FI_RGBA_BLUE] = toByte(c.b);
            if (alpha) {
                p[FI_RGBA_ALPHA] = toByte(c.a);
            }
        }
    }
    if (!FreeImage_Save(FIF_PNG, bmp.get(), path.c_str(), PNG_DEFAULT)) {
        return "cannot write " + path;
    }
    return {};
}

std::string Canvas::saveJpeg(const std::string& path, bool flipRows) const {
    Bitmap bmp(FreeImage_Allocate(width_, height_, 24));
    if (!bmp) {
        return "cannot allocate a picture for " + path;
    }
    for (int y = 0; y < height_; ++y) {
        const int scan = flipRows ? y : height_ - 1 - y;
        BYTE* row = FreeImage_GetScanLine(bmp.get(), scan);
        for (int x = 0; x < width_; ++x) {
            // Transparent parts of a ground are black in a picture without alpha.
            const Color& c = at(x, y);
            BYTE* p = row + x * 3;
            p[FI_RGBA_RED] = toByte(c.r * c.a);
            p[FI_RGBA_GREEN] = toByte(c.g * c.a);
            p[FI_RGBA_BLUE] = toByte(c.b * c.a);
        }
    }
    if (!FreeImage_Save(FIF_JPEG, bmp.get(), path.c_str(), 90)) {
        return "cannot write " + path;
    }
    return {};
}

} // namespace contentgen
