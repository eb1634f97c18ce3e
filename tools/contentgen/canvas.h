// A floating-point RGBA picture with shape drawing by signed distance, for the show's content.
// Shapes are given in design units (e.g. the 640 x 480 overlay screen), mapped onto the
// picture's pixels, so a full-screen picture can be drawn in screen terms at any pixel size.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace contentgen {

struct Color {
    float r = 0, g = 0, b = 0, a = 1;
};

constexpr Color rgb(int r, int g, int b, float a = 1.0f) {
    return {static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
            static_cast<float>(b) / 255.0f, a};
}
inline Color withAlpha(Color c, float a) {
    c.a = a;
    return c;
}
inline Color mix(const Color& p, const Color& q, double t) {
    const auto f = static_cast<float>(std::clamp(t, 0.0, 1.0));
    return {p.r + (q.r - p.r) * f, p.g + (q.g - p.g) * f, p.b + (q.b - p.b) * f,
            p.a + (q.a - p.a) * f};
}
inline Color scaled(Color c, double k) {
    const auto f = static_cast<float>(k);
    return {c.r * f, c.g * f, c.b * f, c.a};
}

enum class Blend {
    Over,    // the usual painter's layering by alpha
    Add,     // light: adds colour, keeps the ground's alpha (at least the source's)
    Erase,   // cuts the shape out of the picture (alpha to 0)
    Replace, // writes colour and alpha as given, blended only at the edge
};

struct Box {
    double x0, y0, x1, y1;
};

// Stateless 2D hash noise: the same numbers on every run.
double hashNoise(int x, int y, std::uint32_t seed);
// Smooth value noise in 0..1 with features about one unit apart.
double valueNoise(double x, double y, std::uint32_t seed);

// Signed distances (negative inside) in design units.
double sdCircle(double x, double y, double cx, double cy, double r);
double sdEllipse(double x, double y, double cx, double cy, double rx, double ry);
double sdRoundBox(double x, double y, double bx, double by, double bw, double bh, double radius);
double sdSegment(double x, double y, double ax, double ay, double bx, double by, double halfWidth);
struct Point {
    double x, y;
};
double sdPolygon(double x, double y, const std::vector<Point>& pts);

class Canvas {
  public:
    Canvas(int width, int height, double designWidth, double designHeight);
    Canvas(int width, int height) : Canvas(width, height, width, height) {}

    int width() const { return width_; }
    int height() const { return height_; }
    double designWidth() const { return designW_; }
    double designHeight() const { return designH_; }
    // Row 0 is the picture's top row.
    Color& at(int x, int y) { return px_[static_cast<std::size_t>(y) * width_ + x]; }
    const Color& at(int x, int y) const { return px_[static_cast<std::size_t>(y) * width_ + x]; }
    double designX(int px) const { return (px + 0.5) * designW_ / width_; }
    double designY(int py) const { return (py + 0.5) * designH_ / height_; }
    double pixelSize() const { return 0.5 * (designW_ / width_ + designH_ / height_); }

    // Smooth edges by default; hard edges give exact colours with no blended fringe.
    void setAntialias(bool on) { antialias_ = on; }

    void clear(Color c);
    // Paints every pixel from a function of design position.
    template <class Paint> void fill(Paint paint) {
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                at(x, y) = paint(designX(x), designY(y));
            }
        }
    }

    // Draws the shape with distance `sdf` inside `box`; `paint` is a Color or a function of
    // the design position returning one.
    template <class Sdf, class Paint>
    void draw(const Box& box, Sdf sdf, Paint paint, Blend blend = Blend::Over) {
        const double pix = pixelSize();
        const int px0 = std::max(0, static_cast<int>(std::floor(box.x0 * width_ / designW_)) - 1);
        const int px1 =
            std::min(width_ - 1, static_cast<int>(std::ceil(box.x1 * width_ / designW_)) + 1);
        const int py0 = std::max(0, static_cast<int>(std::floor(box.y0 * height_ / designH_)) - 1);
        const int py1 =
            std::min(height_ - 1, static_cast<int>(std::ceil(box.y1 * height_ / designH_)) + 1);
        for (int y = py0; y <= py1; ++y) {
            const double dy = designY(y);
            for (int x = px0; x <= px1; ++x) {
                const double dx = designX(x);
                const double d = sdf(dx, dy);
                double coverage =
                    antialias_ ? std::clamp(0.5 - d / pix, 0.0, 1.0) : (d <= 0.0 ? 1.0 : 0.0);
                if (coverage <= 0.0) {
                    continue;
                }
                Color c;
                if constexpr (std::is_invocable_v<Paint, double, double>) {
                    c = paint(dx, dy);
                } else {
                    c = paint;
                }
                put(at(x, y), c, static_cast<float>(coverage), blend);
            }
        }
    }

    // Common shapes.
    void circle(double cx, double cy, double r, Color c, Blend blend = Blend::Over);
    void ellipse(double cx, double cy, double rx, double ry, Color c, Blend blend = Blend::Over);
    void ring(double cx, double cy, double r, double halfWidth, Color c, Blend blend = Blend::Over);
    void roundRect(double x, double y, double w, double h, double radius, Color c,
                   Blend blend = Blend::Over);
    void rect(double x, double y, double w, double h, Color c, Blend blend = Blend::Over) {
        roundRect(x, y, w, h, 0.0, c, blend);
    }
    void line(double x0, double y0, double x1, double y1, double width, Color c,
              Blend blend = Blend::Over);
    void polygon(const std::vector<Point>& pts, Color c, Blend blend = Blend::Over);
    // Soft round glow of light, added.
    void glow(double cx, double cy, double r, Color c);

    enum class Align { Left, Centre, Right };
    // One line of the bitmap font; (x, y) is the top of the line at its left edge, centre or
    // right edge; `dot` is the size of one font pixel in design units.
    void text(std::string_view s, double x, double y, double dot, Color c,
              Align align = Align::Left, Blend blend = Blend::Over);
    // Text with a dark rim around every letter, readable on any ground.
    void outlinedText(std::string_view s, double x, double y, double dot, Color c, Color rim,
                      double rimWidth, Align align = Align::Left);
    // Width of a line of text in design units.
    static double textWidth(std::string_view s, double dot);

    // Writes the picture; `alpha` keeps the alpha channel (PNG only), `flipRows` stores the
    // bottom row first. Returns an empty string or a reason for failure.
    std::string savePng(const std::string& path, bool alpha, bool flipRows) const;
    std::string saveJpeg(const std::string& path, bool flipRows) const;

  private:
    static void put(Color& dst, const Color& src, float coverage, Blend blend);

    int width_, height_;
    double designW_, designH_;
    bool antialias_ = true;
    std::vector<Color> px_;
};

} // namespace contentgen
