#include "pictures.h"

#include "canvas.h"
#include "demo/assets/manifest.h"

#include <array>
#include <cmath>
#include <functional>
#include <numbers>

namespace contentgen {

namespace {

constexpr double pi = std::numbers::pi;
constexpr Color black = {0, 0, 0, 1};
constexpr Color white = {1, 1, 1, 1};
constexpr Color ink = rgb(22, 18, 34); // outline colour of the cartoon figures

// ---------------------------------------------------------------------------------------------
// Cartoon figures, the cast of the show.

enum class Hair { Short, Curls, Spikes, Long };

struct Look {
    Color skin, hair, shirt, pants, shoes;
    Hair hairStyle;
    bool glasses;
    Color tie = {0, 0, 0, 0}; // transparent: no tie
    bool partyHat = false;
};

struct Pose {
    double armL = 20, armR = 20; // degrees from hanging down, outwards
    double bendL = 0, bendR = 0; // elbow bends, degrees, outwards
    double tilt = 0;             // head tilt, degrees
    bool mouthOpen = false;
    double lean = 0;   // sideways shift of the upper body, in figure units
    double legs = 0.5; // spread of the feet
    bool eyesClosed = false;
};

// Draws a shape with a dark rim around it.
template <class Sdf>
void outlined(Canvas& c, const Box& b, Sdf sdf, Color fill, double rim, Color rimColor = ink) {
    const Box grown{b.x0 - rim, b.y0 - rim, b.x1 + rim, b.y1 + rim};
    c.draw(
        grown, [&](double x, double y) { return sdf(x, y) - rim; }, rimColor);
    c.draw(b, sdf, fill);
}

void limb(Canvas& c, double ax, double ay, double bx, double by, double width, Color fill,
          double rim) {
    const double hw = width * 0.5;
    outlined(
        c,
        {std::min(ax, bx) - hw, std::min(ay, by) - hw, std::max(ax, bx) + hw,
         std::max(ay, by) + hw},
        [=](double x, double y) { return sdSegment(x, y, ax, ay, bx, by, hw); }, fill, rim);
}

void disc(Canvas& c, double cx, double cy, double r, Color fill, double rim) {
    outlined(
        c, {cx - r, cy - r, cx + r, cy + r},
        [=](double x, double y) { return sdCircle(x, y, cx, cy, r); }, fill, rim);
}

void oval(Canvas& c, double cx, double cy, double rx, double ry, Color fill, double rim) {
    outlined(
        c, {cx - rx, cy - ry, cx + rx, cy + ry},
        [=](double x, double y) { return sdEllipse(x, y, cx, cy, rx, ry); }, fill, rim);
}

// A standing figure `h` design units tall whose feet rest at (x, footY).
// Where a figure's parts sit, in pixels: u is a hundredth of its height.
struct FigureFrame {
    double u, rim, footY, hipY, shoulderY;
    double body; // the upper body's centre line
};

// The head's frame: centre, radius and tilt; at() turns an offset from the
// centre with the head.
struct HeadFrame {
    double cx, cy, r, ca, sa;
    Point at(double dx, double dy) const {
        return Point{cx + dx * ca - dy * sa, cy + dx * sa + dy * ca};
    }
};

void drawLegsAndTorso(Canvas& c, double x, const FigureFrame& f, const Look& look,
                      const Pose& pose) {
    const double u = f.u, rim = f.rim, body = f.body, footY = f.footY;
    const double hipY = f.hipY, shoulderY = f.shoulderY;
    // Legs and shoes.
    for (int side = -1; side <= 1; side += 2) {
        const double hx = body + side * 6 * u, fx = x + side * (5 + pose.legs * 10) * u;
        limb(c, hx, hipY, fx, footY - 4 * u, 10 * u, look.pants, rim);
        oval(c, fx + side * 3 * u, footY - 3 * u, 7.5 * u, 4 * u, look.shoes, rim);
    }
    // Torso.
    const double tx = body - 15 * u, ty = shoulderY - 3 * u, tw = 30 * u, th = hipY - ty + 5 * u;
    outlined(
        c, {tx, ty, tx + tw, ty + th},
        [=](double px, double py) { return sdRoundBox(px, py, tx, ty, tw, th, 8 * u); }, look.shirt,
        rim);
    if (look.tie.a > 0) {
        const std::vector<Point> tie = {{body, shoulderY},
                                        {body + 3.5 * u, shoulderY + 4 * u},
                                        {body + 4.5 * u, shoulderY + 20 * u},
                                        {body, shoulderY + 25 * u},
                                        {body - 4.5 * u, shoulderY + 20 * u},
                                        {body - 3.5 * u, shoulderY + 4 * u}};
        c.polygon(tie, ink);
        std::vector<Point> inner = tie;
        for (auto& p : inner) {
            p.x = body + (p.x - body) * 0.7;
            p.y = shoulderY + 1.5 * u + (p.y - shoulderY) * 0.85;
        }
        c.polygon(inner, look.tie);
    }
}

// Arms: upper arm in the shirt's colour, forearm and hand in the skin's.
void drawArms(Canvas& c, const FigureFrame& f, const Look& look, const Pose& pose) {
    const double u = f.u, rim = f.rim, body = f.body, shoulderY = f.shoulderY;
    for (int side = -1; side <= 1; side += 2) {
        const double a = (side < 0 ? pose.armL : pose.armR) * pi / 180.0;
        const double b = a + (side < 0 ? pose.bendL : pose.bendR) * pi / 180.0;
        const double sx = body + side * 13 * u, sy = shoulderY + 4 * u;
        const double ex = sx + side * std::sin(a) * 18 * u, ey = sy + std::cos(a) * 18 * u;
        const double hx = ex + side * std::sin(b) * 16 * u, hy = ey + std::cos(b) * 16 * u;
        limb(c, ex, ey, hx, hy, 7 * u, look.skin, rim);
        limb(c, sx, sy, ex, ey, 9 * u, look.shirt, rim);
        disc(c, hx, hy, 5 * u, look.skin, rim);
    }
}

void drawHair(Canvas& c, const HeadFrame& h, const Look& look, double rim) {
    const double r = h.r;
    switch (look.hairStyle) {
    case Hair::Short: {
        const Point p = h.at(0, -r * 0.75);
        oval(c, p.x, p.y, r * 0.95, r * 0.45, look.hair, rim);
        break;
    }
    case Hair::Curls:
        for (int i = 0; i < 7; ++i) {
            const double ang = pi * (1.05 + 0.15 * i);
            const Point p = h.at(std::cos(ang) * r * 0.95, std::sin(ang) * r * 0.9);
            disc(c, p.x, p.y, r * 0.42, look.hair, rim);
        }
        break;
    case Hair::Spikes:
        for (int i = 0; i < 5; ++i) {
            const double off = (i - 2) * r * 0.38;
            const Point base1 = h.at(off - r * 0.25, -r * 0.6),
                        base2 = h.at(off + r * 0.25, -r * 0.6);
            const Point tip = h.at(off * 1.3, -r * 1.55 + std::abs(i - 2) * r * 0.15);
            c.polygon({base1, tip, base2, h.at(off, -r * 0.3)}, look.hair);
        }
        break;
    case Hair::Long: {
        const Point p = h.at(0, -r * 0.7);
        oval(c, p.x, p.y, r * 1.05, r * 0.5, look.hair, rim);
        break;
    }
    }
    if (look.partyHat) {
        const Point l = h.at(-r * 0.55, -r * 0.8), rr = h.at(r * 0.55, -r * 0.8),
                    tip = h.at(r * 0.2, -r * 2.2);
        c.polygon({l, tip, rr}, ink);
        const Point l2 = h.at(-r * 0.42, -r * 0.88), r2 = h.at(r * 0.42, -r * 0.88),
                    t2 = h.at(r * 0.18, -r * 2.0);
        c.polygon({l2, t2, r2}, rgb(255, 210, 40));
        c.circle(tip.x, tip.y, r * 0.22, rgb(255, 80, 160));
    }
}

void drawFace(Canvas& c, const HeadFrame& h, double u, const Look& look, const Pose& pose) {
    const double ca = h.ca, sa = h.sa;
    const Point eyeL = h.at(-5 * u, -1 * u), eyeR = h.at(5 * u, -1 * u);
    if (look.glasses) {
        c.line(eyeL.x, eyeL.y, eyeR.x, eyeR.y, 2 * u, ink);
        c.ellipse(eyeL.x, eyeL.y, 5 * u, 3.6 * u, ink);
        c.ellipse(eyeR.x, eyeR.y, 5 * u, 3.6 * u, ink);
        c.circle(eyeL.x - 1.5 * u, eyeL.y - 1.2 * u, 1.1 * u, rgb(140, 200, 255));
        c.circle(eyeR.x - 1.5 * u, eyeR.y - 1.2 * u, 1.1 * u, rgb(140, 200, 255));
    } else if (pose.eyesClosed) {
        for (const Point& e : {eyeL, eyeR}) {
            const Point a0 = {e.x - 2.8 * u * ca, e.y - 2.8 * u * sa};
            const Point a1 = {e.x + 2.8 * u * ca, e.y + 2.8 * u * sa};
            c.line(a0.x, a0.y, a1.x, a1.y, 1.4 * u, ink);
        }
    } else {
        for (const Point& e : {eyeL, eyeR}) {
            c.circle(e.x, e.y, 3.2 * u, white);
            c.ring(e.x, e.y, 3.2 * u, 0.5 * u, ink);
            c.circle(e.x + 0.6 * u, e.y + 0.4 * u, 1.6 * u, ink);
        }
    }
    const Point mouth = h.at(0, 6.5 * u);
    if (pose.mouthOpen) {
        c.ellipse(mouth.x, mouth.y, 4.6 * u, 3.8 * u, ink);
        c.ellipse(mouth.x, mouth.y + 1.2 * u, 3.0 * u, 1.8 * u, rgb(230, 80, 90));
    } else {
        const Point m0 = h.at(-4.5 * u, 5 * u), m1 = h.at(0, 7.5 * u), m2 = h.at(4.5 * u, 5 * u);
        c.line(m0.x, m0.y, m1.x, m1.y, 1.3 * u, ink);
        c.line(m1.x, m1.y, m2.x, m2.y, 1.3 * u, ink);
    }
}

void drawFigure(Canvas& c, double x, double footY, double h, const Look& look, const Pose& pose) {
    FigureFrame f;
    f.u = h / 100.0;
    const double u = f.u;
    f.rim = 1.4 * u;
    f.footY = footY;
    f.hipY = footY - 42 * u, f.shoulderY = footY - 70 * u;
    f.body = x + pose.lean * u;
    drawLegsAndTorso(c, x, f, look, pose);
    drawArms(c, f, look, pose);
    // Head, turned by the tilt about its centre.
    HeadFrame head;
    head.cx = f.body + std::sin(pose.tilt * pi / 180.0) * 6 * u, head.cy = footY - 88 * u;
    head.r = 14 * u;
    head.ca = std::cos(pose.tilt * pi / 180.0), head.sa = std::sin(pose.tilt * pi / 180.0);
    limb(c, f.body, f.shoulderY, head.cx, head.cy, 8 * u, look.skin, f.rim);
    if (look.hairStyle == Hair::Long) {
        const Point p = head.at(0, 2 * u);
        oval(c, p.x, p.y, head.r * 1.25, head.r * 1.3, look.hair, f.rim);
    }
    disc(c, head.cx, head.cy, head.r, look.skin, f.rim);
    drawHair(c, head, look, f.rim);
    drawFace(c, head, u, look, pose);
}

const Look zelmo = {rgb(240, 196, 150),
                    rgb(70, 40, 20),
                    rgb(40, 170, 220),
                    rgb(40, 40, 90),
                    rgb(230, 230, 230),
                    Hair::Spikes,
                    false};
const Look dorvi = {rgb(200, 150, 110),
                    rgb(20, 20, 20),
                    rgb(240, 120, 40),
                    rgb(60, 60, 60),
                    rgb(40, 30, 20),
                    Hair::Curls,
                    true};
const Look pilsa = {rgb(250, 210, 180),
                    rgb(230, 180, 40),
                    rgb(230, 60, 150),
                    rgb(50, 50, 120),
                    rgb(250, 250, 250),
                    Hair::Long,
                    false};
const Look velda = {rgb(160, 110, 80),
                    rgb(120, 30, 30),
                    rgb(120, 220, 90),
                    rgb(30, 70, 50),
                    rgb(200, 60, 60),
                    Hair::Long,
                    true};
const Look colla = {rgb(230, 185, 140),
                    rgb(30, 30, 40),
                    rgb(250, 220, 60),
                    rgb(90, 50, 30),
                    rgb(20, 20, 20),
                    Hair::Short,
                    false};

Look withTie(Look l, Color tie) {
    l.tie = tie;
    return l;
}
Look withHat(Look l) {
    l.partyHat = true;
    return l;
}

// ---------------------------------------------------------------------------------------------
// Grounds and common pieces.

// Fills the colour of transparent and half-transparent pixels from a ground without changing
// their alpha: filtering then blends edges into that colour instead of black, and a picture
// that is drawn unblended shows the ground.
template <class Paint> void backfill(Canvas& c, Paint ground) {
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) {
            Color& p = c.at(x, y);
            const Color g = ground(c.designX(x), c.designY(y));
            p.r = p.r * p.a + g.r * (1 - p.a);
            p.g = p.g * p.a + g.g * (1 - p.a);
            p.b = p.b * p.a + g.b * (1 - p.a);
        }
    }
}
void backfill(Canvas& c, Color ground) {
    backfill(c, [ground](double, double) { return ground; });
}

Color hsv(double h, double s, double v, float a = 1.0f) {
    h = std::fmod(h, 1.0);
    if (h < 0) {
        h += 1.0;
    }
    const double i = std::floor(h * 6.0), f = h * 6.0 - i;
    const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    double r = v, g = t, b = p;
    switch (static_cast<int>(i) % 6) {
    case 1:
        r = q, g = v, b = p;
        break;
    case 2:
        r = p, g = v, b = t;
        break;
    case 3:
        r = p, g = q, b = v;
        break;
    case 4:
        r = t, g = p, b = v;
        break;
    case 5:
        r = v, g = p, b = q;
        break;
    default:
        break;
    }
    return {static_cast<float>(r), static_cast<float>(g), static_cast<float>(b), a};
}

void stars(Canvas& c, int count, std::uint32_t seed, double maxSize) {
    for (int i = 0; i < count; ++i) {
        const double x = hashNoise(i, 1, seed) * c.designWidth();
        const double y = hashNoise(i, 2, seed) * c.designHeight();
        const double s = 0.4 + hashNoise(i, 3, seed) * maxSize;
        c.glow(x, y, s * 3, withAlpha(hsv(0.55 + 0.2 * hashNoise(i, 4, seed), 0.3, 1.0), 0.8f));
        c.circle(x, y, s * 0.6, withAlpha(white, 0.9f), Blend::Add);
    }
}

// Sun rays from a centre, alternating two colours, over the whole picture.
void sunburst(Canvas& c, double cx, double cy, int rays, Color a, Color b) {
    c.fill([=](double x, double y) {
        const double ang = std::atan2(y - cy, x - cx);
        const int k = static_cast<int>(std::floor((ang + pi) / (2 * pi) * rays));
        const double fade = 1.0 - std::min(1.0, std::hypot(x - cx, y - cy) / 700.0) * 0.45;
        return scaled(k % 2 == 0 ? a : b, fade);
    });
}

void discoBall(Canvas& c, double cx, double cy, double r) {
    c.line(cx, 0, cx, cy - r, 2.0, rgb(120, 120, 130));
    c.draw(
        {cx - r, cy - r, cx + r, cy + r},
        [=](double x, double y) { return sdCircle(x, y, cx, cy, r); },
        [=](double x, double y) {
            const double nx = (x - cx) / r, ny = (y - cy) / r;
            const double nz = std::sqrt(std::max(0.0, 1 - nx * nx - ny * ny));
            const double lat = std::asin(std::clamp(ny, -1.0, 1.0));
            const double lon = std::atan2(nx, nz);
            const int i = static_cast<int>(std::floor(lat * 9)),
                      j = static_cast<int>(std::floor(lon * 9));
            const double grout = (std::abs(std::fmod(lat * 9 + 100, 1.0) - 0.5) > 0.42 ||
                                  std::abs(std::fmod(lon * 9 + 100, 1.0) - 0.5) > 0.42)
                                     ? 0.35
                                     : 1.0;
            const double v = (0.35 + 0.65 * hashNoise(i, j, 77)) * (0.4 + 0.6 * nz) * grout;
            return Color{static_cast<float>(v * 0.9), static_cast<float>(v * 0.92),
                         static_cast<float>(v), 1};
        });
    c.glow(cx - r * 0.35, cy - r * 0.35, r * 0.6, withAlpha(white, 0.8f));
}

// ---------------------------------------------------------------------------------------------
// The pictures.

using Draw = std::function<void(Canvas&)>;

void drawLoading(Canvas& c) {
    // On screen the loading quad is about 580 x 320 pixels with the progress bar below it;
    // drawn in 1024 x 512 design units.
    c.fill([](double x, double y) {
        const double r = std::hypot(x - 512, y - 260) / 400.0;
        return mix(rgb(50, 24, 90), rgb(6, 4, 16), r);
    });
    stars(c, 90, 5, 1.6);
    c.ring(512, 212, 150, 3, withAlpha(rgb(120, 200, 255), 0.35f), Blend::Add);
    c.ring(512, 212, 170, 1.5, withAlpha(rgb(255, 120, 220), 0.35f), Blend::Add);
    c.glow(512, 212, 230, withAlpha(rgb(110, 60, 200), 0.6f));
    c.outlinedText("VEMU", 512 + 6, 160 + 6, 16, withAlpha(black, 0.6f), withAlpha(black, 0.0f), 0,
                   Canvas::Align::Centre);
    c.outlinedText("VEMU", 512, 160, 16, rgb(255, 230, 90), rgb(30, 10, 60), 5,
                   Canvas::Align::Centre);
    c.text("A 148 SECOND SHOW", 512, 300, 3.2, rgb(200, 220, 255), Canvas::Align::Centre);
    c.text("LOADING...", 512, 360, 4, white, Canvas::Align::Centre);
}

void drawRecordDisc(Canvas& c, double cx, double cy, double R) {
    const double labelR = R * 0.36;
    c.draw(
        {cx - R, cy - R, cx + R, cy + R},
        [=](double x, double y) { return sdCircle(x, y, cx, cy, R); },
        [=](double x, double y) {
            const double r = std::hypot(x - cx, y - cy) / R;
            const double th = std::atan2(y - cy, x - cx);
            double v = 0.045 + 0.03 * std::pow(std::sin(r * 260.0), 2.0);
            // Track gaps between the songs of the side.
            for (double gap : {0.55, 0.68, 0.8, 0.9}) {
                v += 0.05 * std::exp(-std::pow((r - gap) * 180.0, 2.0));
            }
            // Sheen of the grooves, one bright lobe only, so a turn of the record shows.
            const double sheen = std::pow(std::max(0.0, std::cos(th - 0.9)), 12.0) * 0.35 +
                                 std::pow(std::max(0.0, std::cos(th + 2.4)), 30.0) * 0.12;
            v += sheen * (0.6 + 0.4 * std::sin(r * 90.0) * std::sin(r * 90.0));
            const float f = static_cast<float>(v);
            return Color{f, f, f * 1.08f, 1};
        });
    c.ring(cx, cy, R - 1.5, 1.5, rgb(70, 70, 80));
    // Label: warm orange with the title off the centre and a printed band at one side.
    c.draw(
        {cx - labelR, cy - labelR, cx + labelR, cy + labelR},
        [=](double x, double y) { return sdCircle(x, y, cx, cy, labelR); },
        [=](double x, double y) {
            const double r = std::hypot(x - cx, y - cy) / labelR;
            return mix(rgb(250, 140, 30), rgb(210, 70, 20), r);
        });
    c.draw(
        {cx - labelR, cy - labelR, cx + labelR, cy + labelR},
        [=](double x, double y) {
            return std::max(sdCircle(x, y, cx, cy, labelR - 4), (y - cy) - (-labelR * 0.45));
        },
        rgb(40, 30, 100));
    // One font pixel for the label's small print; the title fills the band at the top.
    const double dot = labelR / 60.0;
    c.text("VEMU", cx, cy - labelR * 0.8, dot * 3.3, rgb(255, 230, 120), Canvas::Align::Centre);
    c.text("SIDE A", cx - labelR * 0.15, cy + labelR * 0.2, dot * 2.3, rgb(40, 20, 10),
           Canvas::Align::Centre);
    c.text("33", cx + labelR * 0.5, cy - labelR * 0.22, dot * 3.4, rgb(40, 20, 10),
           Canvas::Align::Centre);
    c.polygon({{cx - labelR * 0.75, cy - labelR * 0.05},
               {cx - labelR * 0.45, cy - labelR * 0.2},
               {cx - labelR * 0.5, cy + labelR * 0.08}},
              rgb(40, 30, 100));
    c.text("150 BPM", cx + labelR * 0.05, cy + labelR * 0.55, dot * 1.9, rgb(60, 25, 10),
           Canvas::Align::Centre);
    c.circle(cx, cy, labelR * 0.07, rgb(10, 10, 10));
}

void drawVinil(Canvas& c) {
    c.clear(black);
    // The record's quad is a little taller than the view; this radius keeps the rim on screen.
    drawRecordDisc(c, 256, 256, 230);
}

void drawVelda1(Canvas& c) {
    // Added onto the record: black adds nothing.
    c.clear(black);
    c.glow(64, 56, 60, withAlpha(rgb(255, 170, 60), 0.9f));
    std::vector<Point> star;
    for (int i = 0; i < 10; ++i) {
        const double a = -pi / 2 + i * pi / 5, r = i % 2 == 0 ? 42 : 18;
        star.push_back({64 + std::cos(a) * r, 54 + std::sin(a) * r});
    }
    c.polygon(star, rgb(255, 220, 80));
    c.circle(56, 48, 5, white);
    c.text("VELDA", 64, 104, 3.4, rgb(255, 255, 255), Canvas::Align::Centre);
}

void drawHall(Canvas& c) {
    const double horizon = 250;
    c.fill([=](double x, double y) {
        if (y < horizon) {
            // Back wall: panels lit from below.
            const double t = y / horizon;
            Color wall = mix(rgb(14, 6, 30), rgb(70, 24, 90), t * t);
            const double panel = std::abs(std::fmod(x + 1000, 80.0) - 40.0) / 40.0;
            wall = scaled(wall, 0.8 + 0.2 * panel);
            return wall;
        }
        // Dance floor in perspective towards (320, 180).
        const double d = y - 180;
        const double u = (x - 320) / d * 4.0, v = 900.0 / d;
        const int iu = static_cast<int>(std::floor(u)), iv = static_cast<int>(std::floor(v));
        const double fu = u - iu, fv = v - iv;
        const bool grout = fu < 0.06 || fu > 0.94 || fv < 0.06 * v || fv > 1 - 0.04;
        const double h = hashNoise(iu, iv, 11);
        Color tile = hsv(std::floor(h * 5) / 5.0 + 0.05, 0.75, 1.0);
        const double lit = hashNoise(iu, iv, 12) > 0.45 ? 1.0 : 0.25;
        const double near = std::clamp((y - horizon) / (480 - horizon), 0.0, 1.0);
        tile = scaled(tile, lit * (0.35 + 0.65 * near));
        return grout ? rgb(10, 8, 16) : tile;
    });
    // Glow of the floor on the wall's foot.
    c.draw(
        {0, horizon - 60, 640, horizon}, [=](double, double y) { return y - horizon; },
        [=](double, double y) {
            return withAlpha(rgb(255, 80, 200), static_cast<float>(0.3 * (1 - (horizon - y) / 60)));
        },
        Blend::Add);
    // Neon sign.
    c.glow(320, 150, 120, withAlpha(rgb(255, 60, 200), 0.35f));
    c.outlinedText("DISCO", 320, 126, 9, rgb(255, 140, 240), rgb(120, 20, 110), 2,
                   Canvas::Align::Centre);
    // Light beams from the ceiling spots.
    const std::array<double, 5> spots = {60, 180, 320, 460, 580};
    for (std::size_t i = 0; i < spots.size(); ++i) {
        const double sx = spots[i], sy = 14;
        const double tx = 320 + (sx - 320) * 0.3 + (i % 2 == 0 ? 90 : -90);
        const Color col = hsv(0.08 + 0.21 * static_cast<double>(i), 0.6, 1.0);
        const std::vector<Point> beam = {
            {sx - 4, sy}, {sx + 4, sy}, {tx + 60, 470}, {tx - 60, 470}};
        c.draw(
            {std::min(sx, tx) - 70, sy, std::max(sx, tx) + 70, 480},
            [&beam](double x, double y) { return sdPolygon(x, y, beam); },
            [=](double, double y) {
                return withAlpha(col, static_cast<float>(0.22 * (1 - (y - sy) / 500.0)));
            },
            Blend::Add);
        c.ellipse(tx, 440, 62, 14, withAlpha(col, 0.25f), Blend::Add);
        c.rect(sx - 12, 0, 24, 16, rgb(40, 40, 50));
        c.glow(sx, 16, 26, withAlpha(col, 0.9f));
    }
    discoBall(c, 320, 66, 34);
    for (int i = 0; i < 40; ++i) {
        const double x = hashNoise(i, 5, 3) * 640, y = hashNoise(i, 6, 3) * 240;
        c.glow(x, y, 4 + 4 * hashNoise(i, 7, 3), withAlpha(hsv(hashNoise(i, 8, 3), 0.4, 1), 0.8f));
    }
}

void drawFocoDisco(Canvas& c) {
    // A layer of light: beams and pools, white on black, tinted by the scene.
    c.clear(black);
    for (int i = 0; i < 6; ++i) {
        const double sx = 50 + i * 108, sy = -10;
        const double tx = sx + (i % 2 == 0 ? 120 : -120);
        const std::vector<Point> beam = {
            {sx - 6, sy}, {sx + 6, sy}, {tx + 80, 500}, {tx - 80, 500}};
        c.draw(
            {std::min(sx, tx) - 90, 0, std::max(sx, tx) + 90, 480},
            [&beam](double x, double y) { return sdPolygon(x, y, beam); },
            [=](double x, double y) {
                const double across =
                    std::abs((x - sx) - (tx - sx) * (y - sy) / 510.0) / (6 + 74 * (y - sy) / 510.0);
                return withAlpha(
                    white, static_cast<float>(0.75 * (1 - 0.6 * y / 480) * (1 - across * across)));
            },
            Blend::Add);
        c.glow(tx, 440, 110, withAlpha(white, 0.6f));
        c.glow(sx, 0, 40, white);
    }
}

void drawStrip(Canvas& c, const char* name, const Look& look, double hue) {
    // Film strip, added onto the scene: black adds nothing.
    c.clear(black);
    const double w = c.designWidth(), h = c.designHeight();
    c.rect(0, 0, 34, h, rgb(30, 30, 34));
    c.rect(w - 34, 0, 34, h, rgb(30, 30, 34));
    for (double y = 6; y < h; y += 24) {
        c.roundRect(10, y, 14, 12, 3, rgb(150, 150, 150));
        c.roundRect(w - 24, y, 14, 12, 3, rgb(150, 150, 150));
    }
    const int frames = 5;
    const double fh = h / frames;
    for (int i = 0; i < frames; ++i) {
        const double y0 = i * fh + 6;
        const Color ground = hsv(hue + 0.06 * i, 0.7, 0.35);
        c.roundRect(42, y0, w - 84, fh - 12, 6, ground);
        Canvas::Align al = Canvas::Align::Centre;
        const std::string letter(1, name[i]);
        Pose pose;
        pose.armL = 30 + 50 * (i % 3);
        pose.armR = 150 - 40 * (i % 2);
        pose.mouthOpen = i % 2 == 0;
        pose.tilt = (i - 2) * 8.0;
        drawFigure(c, w * 0.36, y0 + fh - 14, fh * 0.95, look, pose);
        c.outlinedText(letter, w * 0.74, y0 + (fh - 12) * 0.5 - 21, 6, hsv(hue + 0.5, 0.3, 1.0),
                       ink, 2, al);
    }
}

void drawZelmoPortrait(Canvas& c, bool second) {
    Pose pose;
    if (!second) {
        pose.armL = 150, pose.bendL = 20, pose.armR = 40, pose.bendR = 60;
        pose.tilt = -8, pose.mouthOpen = true, pose.lean = -3;
    } else {
        pose.armL = 35, pose.bendL = 70, pose.armR = 160, pose.bendR = 10;
        pose.tilt = 10, pose.eyesClosed = true, pose.lean = 4, pose.legs = 0.9;
    }
    drawFigure(c, 320, 476, 420, zelmo, pose);
    backfill(c, ink);
}

void drawSorpresa(Canvas& c) {
    for (int i = 0; i < 70; ++i) {
        const double x = 40 + hashNoise(i, 1, 9) * 560, y = 20 + hashNoise(i, 2, 9) * 300;
        const double a = hashNoise(i, 3, 9) * pi;
        c.line(x, y, x + std::cos(a) * 10, y + std::sin(a) * 10, 5,
               hsv(hashNoise(i, 4, 9), 0.8, 1));
    }
    Pose p1;
    p1.armL = 160, p1.armR = 130, p1.mouthOpen = true, p1.tilt = -6;
    Pose p2;
    p2.armL = 120, p2.armR = 165, p2.mouthOpen = true, p2.tilt = 8, p2.legs = 1;
    drawFigure(c, 220, 476, 310, withHat(dorvi), p1);
    drawFigure(c, 430, 476, 330, withHat(velda), p2);
    c.roundRect(110, 24, 420, 90, 24, ink);
    c.roundRect(116, 30, 408, 78, 20, rgb(255, 60, 120));
    c.outlinedText("SORPRESA!", 320, 47, 7, rgb(255, 250, 200), ink, 2.5, Canvas::Align::Centre);
    backfill(c, ink);
}

void drawPhoneBody(Canvas& c, double x, double y, double w, double h) {
    c.roundRect(x - 5, y - 5, w + 10, h + 10, 34, ink);
    c.roundRect(x, y, w, h, 30, rgb(50, 52, 64));
    c.roundRect(x + 4, y + 4, w - 8, h - 8, 26, rgb(70, 72, 88));
    c.roundRect(x + w / 2 - 30, y + 18, 60, 7, 3.5, ink);
    c.circle(x + w / 2, y + h - 30, 14, ink);
    c.ring(x + w / 2, y + h - 30, 14, 1.5, rgb(120, 120, 140));
}

void drawMobilMis01(Canvas& c) {
    // Drawn unblended in its scene: the ground behind the phone is the backfilled colour.
    drawPhoneBody(c, 200, 26, 240, 430);
    c.rect(214, 76, 212, 320, rgb(20, 30, 60));
    c.circle(320, 170, 44, rgb(240, 196, 150));
    c.ring(320, 170, 44, 3, rgb(120, 200, 255));
    c.text("MISSED", 320, 236, 5, rgb(255, 90, 90), Canvas::Align::Centre);
    c.text("CALL", 320, 280, 5, rgb(255, 90, 90), Canvas::Align::Centre);
    c.text("ZELMO", 320, 336, 4, white, Canvas::Align::Centre);
    c.circle(270, 378, 12, rgb(60, 200, 90));
    c.circle(370, 378, 12, rgb(230, 60, 60));
    // A hand holding it.
    oval(c, 236, 400, 60, 48, zelmo.skin, 3);
    for (int i = 0; i < 4; ++i) {
        oval(c, 432, 230 + i * 40, 24, 14, zelmo.skin, 3);
    }
    backfill(c, [](double x, double y) {
        const double r = std::hypot(x - 320, y - 240);
        const double ringWave = 0.5 + 0.5 * std::cos(r * 0.15);
        return mix(rgb(255, 200, 40), rgb(255, 120, 20), ringWave * std::min(1.0, r / 300));
    });
}

void drawMobilMis02(Canvas& c) {
    // The phone's frame: its screen is a window onto the picture rising behind it.
    drawPhoneBody(c, 190, 20, 260, 452);
    c.roundRect(206, 70, 228, 340, 6, {0, 0, 0, 0}, Blend::Replace);
    c.text("12:04", 320, 50, 2.2, rgb(200, 200, 220), Canvas::Align::Centre);
    oval(c, 190, 430, 70, 52, pilsa.skin, 3);
    oval(c, 455, 300, 22, 14, pilsa.skin, 3);
    oval(c, 458, 340, 22, 14, pilsa.skin, 3);
    oval(c, 455, 380, 22, 14, pilsa.skin, 3);
    backfill(c, ink);
}

void drawMobilMis03(Canvas& c) {
    // A chat, full screen, rising behind the phone's frame.
    c.fill([](double x, double y) {
        const double n = valueNoise(x / 40, y / 40, 21);
        return mix(rgb(210, 225, 215), rgb(180, 205, 195), n);
    });
    c.rect(0, 0, 640, 64, rgb(20, 110, 90));
    c.circle(250, 32, 20, zelmo.skin);
    c.text("ZELMO", 280, 22, 3, white);
    struct Line {
        const char* text;
        bool mine;
    };
    const std::array<Line, 7> lines = {{{"ON ERES?", false},
                                        {"A LA DISCO", true},
                                        {"VENS?", true},
                                        {"ARA VINC!", false},
                                        {"PORTA LA COLLA", true},
                                        {"OK OK OK", false},
                                        {":)", true}}};
    double y = 86;
    for (const auto& l : lines) {
        const double tw = Canvas::textWidth(l.text, 3) + 28;
        const double x = l.mine ? 430 - tw : 212;
        c.roundRect(x + 2, y + 3, tw, 36, 10, rgb(120, 140, 130));
        c.roundRect(x, y, tw, 36, 10, l.mine ? rgb(220, 250, 190) : white);
        c.text(l.text, x + 14, y + 8, 3, rgb(30, 30, 30));
        y += 52;
    }
}

void drawTies(Canvas& c, bool second) {
    Pose a, b;
    if (!second) {
        a.armL = 140, a.bendL = 30, a.armR = 30, a.tilt = -10, a.mouthOpen = true, a.lean = -5;
        b.armL = 30, b.armR = 140, b.bendR = 30, b.tilt = 10, b.lean = 5;
    } else {
        a.armL = 40, a.bendL = 90, a.armR = 150, a.tilt = 12, a.lean = 6, a.legs = 1.1;
        b.armL = 165, b.armR = 165, b.tilt = -12, b.mouthOpen = true, b.lean = -6, b.legs = 1.1;
    }
    drawFigure(c, 190, 470, 360, withTie(dorvi, rgb(220, 30, 40)), a);
    drawFigure(c, 450, 476, 380, withTie(colla, rgb(40, 60, 200)), b);
    backfill(c, ink);
}

void drawLimpiameee(Canvas& c) {
    // 213 x 160 on screen, at the top edge.
    for (int i = 0; i < 12; ++i) {
        const double x = 10 + hashNoise(i, 1, 41) * 193, y = 110 + hashNoise(i, 2, 41) * 45;
        const double r = 4 + hashNoise(i, 3, 41) * 7;
        c.circle(x, y, r, withAlpha(rgb(200, 240, 255), 0.5f));
        c.ring(x, y, r, 0.8, withAlpha(white, 0.9f));
    }
    c.polygon({{40, 100}, {30, 140}, {80, 100}}, ink);
    c.roundRect(8, 8, 197, 100, 22, ink);
    c.roundRect(12, 12, 189, 92, 18, rgb(255, 255, 240));
    c.polygon({{44, 98}, {36, 130}, {74, 98}}, rgb(255, 255, 240));
    c.text("LIMPIA", 106.5, 22, 4.6, rgb(20, 120, 200), Canvas::Align::Centre);
    c.text("MEEE!", 106.5, 62, 4.6, rgb(230, 40, 110), Canvas::Align::Centre);
    backfill(c, ink);
}

void drawPilsa(Canvas& c, bool second) {
    Pose p;
    if (!second) {
        p.armL = 20, p.armR = 95, p.bendR = -10, p.tilt = -6, p.mouthOpen = true;
    } else {
        p.armL = 165, p.bendL = 10, p.armR = 165, p.bendR = -10, p.tilt = 9, p.eyesClosed = true,
        p.legs = 1.0;
    }
    drawFigure(c, 430, 476, 440, pilsa, p);
    c.polygon({{190, 160}, {235, 150}, {228, 185}}, ink);
    c.roundRect(20, 70, 220, 92, 30, ink);
    c.roundRect(25, 75, 210, 82, 26, white);
    c.text(second ? "YEAH!" : "PILSA!", 130, 99, 5, rgb(230, 40, 140), Canvas::Align::Centre);
    backfill(c, ink);
}

void drawCollaHard(Canvas& c, bool second) {
    const std::array<double, 4> xs = {80, 185, 455, 560};
    const std::array<double, 4> hues = {0.0, 0.3, 0.55, 0.8};
    for (std::size_t i = 0; i < xs.size(); ++i) {
        Look l = colla;
        l.shirt = hsv(hues[i], 0.75, 0.95);
        l.hairStyle = static_cast<Hair>(i % 4);
        l.glasses = i % 2 == 1;
        Pose p;
        const bool up = (i % 2 == 0) != second;
        p.armL = up ? 165 : 60, p.armR = up ? 165 : 60;
        p.bendL = up ? 0 : 80, p.bendR = up ? 0 : 80;
        p.mouthOpen = up, p.tilt = up ? 0 : (i < 2 ? 12 : -12);
        drawFigure(c, xs[i], 478, 230, l, p);
    }
    c.outlinedText(second ? "HARDER!" : "HARD!", second ? 150 : 40, 28, 9,
                   second ? rgb(255, 240, 60) : rgb(255, 255, 255), ink, 3);
    backfill(c, ink);
}

void drawZelmoHard(Canvas& c, bool second) {
    Pose p;
    p.armL = 10, p.armR = 10;
    p.tilt = second ? 12 : -10, p.mouthOpen = !second, p.eyesClosed = second;
    Look l = zelmo;
    l.glasses = !second;
    drawFigure(c, 320, 232 + 88 * 11, 1100, l, p);
    backfill(c, ink);
}

void drawTextAvionetu(Canvas& c) {
    c.outlinedText("AVIONETA", 320, 26, 10, rgb(255, 255, 255), rgb(20, 40, 140), 4,
                   Canvas::Align::Centre);
    c.rect(80, 110, 480, 4, withAlpha(rgb(255, 220, 60), 0.9f));
    c.outlinedText("VEMU AIR", 320, 396, 7, rgb(255, 220, 60), rgb(20, 40, 140), 3,
                   Canvas::Align::Centre);
    backfill(c, rgb(20, 40, 140));
}

void drawCredits(Canvas& c, int page) {
    struct Page {
        const char* title;
        std::array<const char*, 3> lines;
    };
    static const std::array<Page, 6> pages = {{
        {"VEMU", {"A SHOW OF", "148 SECONDS", ""}},
        {"CODE", {"ZELMO", "DORVI", ""}},
        {"PICTURES", {"PILSA", "VELDA", "THE COLLA"}},
        {"MUSIC", {"150 BEATS", "PER MINUTE", "IN A MINOR"}},
        {"STARRING", {"THE TIOS", "THE COLLA", "THE RECORD"}},
        {"THANKS", {"FOR WATCHING", "SEE YOU", "ON THE FLOOR"}},
    }};
    const Page& p = pages[static_cast<std::size_t>(page)];
    const Color titleColor = hsv(0.12 + 0.1 * page, 0.7, 1.0);
    c.outlinedText(p.title, 320, 80, 10, titleColor, ink, 4, Canvas::Align::Centre);
    c.rect(170, 170, 300, 4, withAlpha(titleColor, 0.9f));
    double y = 210;
    for (const char* line : p.lines) {
        if (*line != 0) {
            c.outlinedText(line, 320, y, 6, white, ink, 3, Canvas::Align::Centre);
        }
        y += 66;
    }
    backfill(c, ink);
}

void drawFonsTralla(Canvas& c) {
    // Lies over the glowing tower: a frame and titles, the middle left clear.
    c.draw(
        {0, 0, 640, 480},
        [](double x, double y) { return -sdRoundBox(x, y, 28, 28, 584, 424, 30); },
        withAlpha(rgb(16, 8, 40), 0.85f));
    c.draw(
        {20, 20, 620, 460},
        [](double x, double y) { return std::abs(sdRoundBox(x, y, 28, 28, 584, 424, 30)) - 2; },
        rgb(80, 220, 255));
    for (double x : {60.0, 580.0}) {
        for (double y : {60.0, 420.0}) {
            c.glow(x, y, 18, withAlpha(rgb(255, 80, 220), 0.9f));
        }
    }
    c.roundRect(230, 384, 180, 60, 14, withAlpha(rgb(16, 8, 40), 0.85f));
    c.outlinedText("TRALLA", 320, 396, 5, rgb(255, 220, 80), ink, 2, Canvas::Align::Centre);
    c.text("VEMU", 48, 6, 2.2, rgb(180, 240, 255));
    c.text("LIVE", 592, 6, 2.2, rgb(180, 240, 255), Canvas::Align::Right);
    backfill(c, rgb(16, 8, 40));
}

void drawCreditsFons(Canvas& c) {
    c.fill([](double x, double y) {
        const double t = y / 480.0;
        Color g = mix(rgb(8, 10, 40), rgb(60, 10, 70), t);
        const double n = valueNoise(x / 90.0, y / 90.0, 31);
        return mix(g, rgb(20, 60, 110), n * 0.35);
    });
    stars(c, 160, 17, 1.4);
    for (int i = 0; i <= 16; ++i) {
        const double x = 320 + (i - 8) * 90.0;
        c.line(320 + (i - 8) * 8.0, 330, x, 480, 1.5, withAlpha(rgb(255, 60, 200), 0.5f),
               Blend::Add);
    }
    for (int j = 0; j < 7; ++j) {
        const double y = 330 + 150.0 * (j * j) / 36.0;
        c.line(0, y, 640, y, 1.5, withAlpha(rgb(255, 60, 200), 0.5f), Blend::Add);
    }
    c.outlinedText("GREETINGS", 320, 20, 5, rgb(120, 230, 255), ink, 2, Canvas::Align::Centre);
}

void drawGreet(Canvas& c, int index) {
    static const std::array<std::array<const char*, 2>, 12> names = {{
        {"NEBULA", ""},
        {"PIXEL", "FOLK"},
        {"RASTER", "CATS"},
        {"BITWISE", ""},
        {"KAOS", "CREW"},
        {"LUMEN", ""},
        {"SINUS", "TEAM"},
        {"POLYGON", "SQUAD"},
        {"CHIP", "TUNERS"},
        {"OVERSCAN", ""},
        {"VECTOR", "GIRLS"},
        {"NULL", "POINTER"},
    }};
    const auto& n = names[static_cast<std::size_t>(index)];
    const Color hue = hsv(index / 12.0, 0.7, 0.85);
    c.roundRect(10, 34, 236, 188, 26, ink);
    c.draw(
        {14, 38, 242, 218},
        [](double x, double y) { return sdRoundBox(x, y, 14, 38, 228, 180, 22); },
        [&](double, double y) {
            return withAlpha(mix(hue, scaled(hue, 0.45), (y - 38) / 180), 0.92f);
        });
    c.text("GREETINGS TO", 128, 48, 2, withAlpha(white, 0.9f), Canvas::Align::Centre);
    const bool two = *n[1] != 0;
    auto fit = [](const char* s) { return std::min(8.0, 210.0 / Canvas::textWidth(s, 1.0)); };
    if (two) {
        const double dot = std::min(fit(n[0]), fit(n[1]));
        c.outlinedText(n[0], 128, 84, dot, white, ink, 2, Canvas::Align::Centre);
        c.outlinedText(n[1], 128, 84 + dot * 9, dot, white, ink, 2, Canvas::Align::Centre);
    } else {
        const double dot = fit(n[0]);
        c.outlinedText(n[0], 128, 128 - dot * 3.5, dot, white, ink, 2, Canvas::Align::Centre);
    }
    backfill(c, ink);
}

void drawTremo(Canvas& c) {
    sunburst(c, 320, 300, 24, rgb(255, 170, 30), rgb(255, 210, 60));
    for (int i = 0; i < 6; ++i) {
        const double y = 150 + i * 40;
        c.line(110, y, 170, y - 10, 6, withAlpha(ink, 0.8f));
        c.line(470, y - 10, 530, y, 6, withAlpha(ink, 0.8f));
    }
    Pose p;
    p.armL = 120, p.armR = 120, p.bendL = 40, p.bendR = 40, p.mouthOpen = true;
    // The trembling: faint copies left and right of the figure.
    for (const double dx : {-16.0, 16.0}) {
        Canvas ghost(c.width(), c.height(), 640, 480);
        drawFigure(ghost, 320 + dx, 470, 380, zelmo, p);
        for (int y = 0; y < c.height(); ++y) {
            for (int x = 0; x < c.width(); ++x) {
                const Color& g = ghost.at(x, y);
                Color& d = c.at(x, y);
                const float a = g.a * 0.35f;
                d.r += (g.r - d.r) * a;
                d.g += (g.g - d.g) * a;
                d.b += (g.b - d.b) * a;
            }
        }
    }
    drawFigure(c, 320, 470, 380, zelmo, p);
    c.outlinedText("TREMO!", 320, 16, 8, white, ink, 3, Canvas::Align::Centre);
}

void drawCollaFinal(Canvas& c) {
    c.fill([](double, double y) {
        if (y > 380) {
            return mix(rgb(60, 30, 50), rgb(30, 15, 30), (y - 380) / 100);
        }
        return mix(rgb(40, 20, 90), rgb(255, 120, 60), y / 380);
    });
    c.circle(320, 380, 120, withAlpha(rgb(255, 220, 120), 0.9f));
    const std::array<Look, 5> cast = {velda, dorvi, zelmo, pilsa, colla};
    const std::array<double, 5> xs = {90, 205, 320, 435, 550};
    for (std::size_t i = 0; i < cast.size(); ++i) {
        Pose p;
        p.armL = 100 + 15 * (i % 2), p.armR = 100 + 15 * ((i + 1) % 2);
        p.bendL = -60, p.bendR = -60;
        p.mouthOpen = i % 2 == 0, p.tilt = (static_cast<double>(i) - 2) * 5;
        drawFigure(c, xs[i], 470, 300 + 20 * (i % 2), cast[i], p);
    }
    c.outlinedText("LA COLLA", 320, 22, 8, rgb(255, 240, 200), ink, 3, Canvas::Align::Centre);
}

void drawTerceraFinal(Canvas& c) {
    c.fill([](double x, double y) {
        const double r = std::hypot(x - 320, y - 200) / 420;
        return mix(rgb(40, 20, 90), rgb(4, 2, 14), r);
    });
    stars(c, 120, 29, 1.5);
    discoBall(c, 320, 120, 70);
    for (int i = 0; i < 12; ++i) {
        const double a = i * pi / 6 + 0.2;
        c.line(320 + std::cos(a) * 80, 120 + std::sin(a) * 80, 320 + std::cos(a) * 300,
               120 + std::sin(a) * 300, 3, withAlpha(hsv(i / 12.0, 0.5, 1), 0.35f), Blend::Add);
    }
    c.outlinedText("THE END", 320, 250, 11, rgb(255, 230, 90), ink, 4, Canvas::Align::Centre);
    c.text("VEMU", 320, 360, 6, rgb(180, 220, 255), Canvas::Align::Centre);
}

void draw04Final(Canvas& c) {
    c.fill([](double x, double y) {
        const double n = valueNoise(x / 60, y / 60, 44);
        return mix(rgb(90, 10, 40), rgb(30, 5, 30), n);
    });
    // The record again, as on the way in; the picture is wider on screen than it is tall.
    c.draw(
        {0, 0, 640, 480}, [](double x, double y) { return sdEllipse(x, y, 320, 250, 190, 190); },
        withAlpha(black, 0.5f));
    Canvas disc(256, 256);
    drawRecordDisc(disc, 128, 128, 120);
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) {
            const double dx = c.designX(x) - 320, dy = c.designY(y) - 240;
            const int sx = static_cast<int>(128 + dx * 120.0 / 180.0);
            const int sy = static_cast<int>(128 + dy * 120.0 / 180.0);
            if (sx >= 0 && sy >= 0 && sx < 256 && sy < 256) {
                const Color& s = disc.at(sx, sy);
                if (s.a > 0 && std::hypot(dx, dy) < 180) {
                    c.at(x, y) = s;
                }
            }
        }
    }
    c.outlinedText("FIN", 320, 420, 6, white, ink, 3, Canvas::Align::Centre);
    c.outlinedText("SIDE B", 40, 20, 4, rgb(255, 200, 120), ink, 2);
}

// The launcher's background: a free-standing panel on the key colour, pure red, with hard
// edges against the red so that no blended near-red pixel survives around it.
void drawBackground(Canvas& c) {
    const Color key = {1, 0, 0, 1};
    c.clear(key);
    c.setAntialias(false);
    const Color rimColor = rgb(12, 10, 30);
    // Silhouette: a rounded panel with a record standing out of its left side.
    auto silhouette = [](double x, double y) {
        return std::min(sdRoundBox(x, y, 330, 230, 1000, 760, 90), sdCircle(x, y, 380, 610, 330));
    };
    c.draw({0, 0, 1600, 1200}, silhouette, rimColor);
    c.draw(
        {0, 0, 1600, 1200}, [&](double x, double y) { return silhouette(x, y) + 10; },
        [](double x, double y) {
            return mix(rgb(30, 26, 80), rgb(70, 30, 110), (y - 230) / 760 + 0.1 * (x / 1600));
        });
    c.setAntialias(true);
    // Inside the panel smooth edges are safe: nothing blends with the red any more.
    c.draw(
        {330, 230, 1330, 990},
        [](double x, double y) { return std::abs(sdRoundBox(x, y, 350, 250, 960, 720, 72)) - 2; },
        rgb(90, 200, 255));
    drawRecordDisc(c, 380, 610, 300);
    c.outlinedText("VEMU", 560, 300, 18, rgb(255, 220, 80), rimColor, 6);
    c.text("A SHOW IN 148 SECONDS", 700, 520, 3.5, rgb(180, 200, 255), Canvas::Align::Centre);
    // Start button, normal face: grey body, green play triangle, the word START.
    const auto& s = startButtonRect;
    c.roundRect(s.x, s.y, s.w, s.h, 14, rgb(16, 16, 20));
    c.roundRect(s.x + 3, s.y + 3, s.w - 6, s.h - 6, 12, rgb(70, 70, 78));
    c.polygon({{s.x + 30.0, s.y + 16.0}, {s.x + 30.0, s.y + 52.0}, {s.x + 62.0, s.y + 34.0}},
              rgb(60, 170, 80));
    c.text("START", s.x + 84.0, s.y + 13.0, 6.3, rgb(220, 220, 225));
    // Quit button, normal face: a dark disc with a blue cross.
    const auto& q = quitButtonRect;
    const double qx = q.x + q.w / 2.0, qy = q.y + q.h / 2.0;
    c.circle(qx, qy, 49, rgb(16, 16, 20));
    c.circle(qx, qy, 45, rgb(40, 40, 48));
    c.line(qx - 22, qy - 22, qx + 22, qy + 22, 10, rgb(60, 110, 220));
    c.line(qx - 22, qy + 22, qx + 22, qy - 22, 10, rgb(60, 110, 220));
    // Where the display-mode toggle sits.
    const auto& t = toggleRect;
    c.roundRect(t.x - 6, t.y - 6, t.w + 12, t.h + 12, 12, rgb(20, 18, 44));
}

// A slot's file from the show's manifest.
std::string file(int slot) {
    return manifestFile(slot);
}

struct Entry {
    PictureFile file;
    double designW, designH;
    Draw draw;
};

const std::vector<Entry>& entries() {
    using F = PictureFormat;
    static const std::vector<Entry> list = [] {
        std::vector<Entry> e;
        auto add = [&e](std::string name, F f, int w, int h, double dw, double dh, Draw d) {
            e.push_back({{std::move(name), f, w, h}, dw, dh, std::move(d)});
        };
        // Full-screen pictures are drawn in the 640 x 480 screen and stored at 512 x 512.
        auto screen = [&add](std::string name, F f, Draw d) {
            add(std::move(name), f, 512, 512, 640, 480, std::move(d));
        };
        add(file(kLoadingSlot), F::Jpeg, 512, 256, 1024, 512, drawLoading);
        add(file(kRecordSlot), F::Jpeg, 512, 512, 512, 512, drawVinil);
        add(file(kSpriteSlot), F::Jpeg, 128, 128, 128, 128, drawVelda1);
        screen(file(kHallSlot), F::Jpeg, drawHall);
        add(file(kLightSlot), F::Jpeg, 256, 256, 640, 480, drawFocoDisco);
        add(file(kRightStripSlot), F::Jpeg, 256, 512, 290, 480,
            [](Canvas& c) { drawStrip(c, "ZELMO", zelmo, 0.55); });
        screen(file(kPortraitSlot), F::PngAlpha, [](Canvas& c) { drawZelmoPortrait(c, false); });
        screen(file(kPortraitFlipSlot), F::PngAlpha, [](Canvas& c) { drawZelmoPortrait(c, true); });
        screen(file(kRisingPhoneSlot), F::Jpeg, drawMobilMis03);
        add(file(kLeftStripSlot), F::Jpeg, 256, 512, 300, 480,
            [](Canvas& c) { drawStrip(c, "DORVI", dorvi, 0.02); });
        screen(file(kSurpriseCardSlot), F::PngAlpha, drawSorpresa);
        screen(file(kShakenPhoneSlot), F::PngAlpha, drawMobilMis01);
        screen(file(kPhoneTopSlot), F::PngAlpha, drawMobilMis02);
        screen(file(kTiesSlot), F::PngAlpha, [](Canvas& c) { drawTies(c, false); });
        screen(file(kTiesFlipSlot), F::PngAlpha, [](Canvas& c) { drawTies(c, true); });
        add(file(kLabelSlot), F::PngAlpha, 256, 256, 213, 160, drawLimpiameee);
        screen(file(kSlideInSlot), F::PngAlpha, [](Canvas& c) { drawPilsa(c, false); });
        screen(file(kSlideInFlipSlot), F::PngAlpha, [](Canvas& c) { drawPilsa(c, true); });
        screen(file(kFlashTopSlot), F::PngAlpha, [](Canvas& c) { drawCollaHard(c, false); });
        screen(file(kFlashTopFlipSlot), F::PngAlpha, [](Canvas& c) { drawCollaHard(c, true); });
        screen(file(kBobbingSlot), F::PngAlpha, [](Canvas& c) { drawZelmoHard(c, false); });
        screen(file(kBobbingFlipSlot), F::PngAlpha, [](Canvas& c) { drawZelmoHard(c, true); });
        screen(file(kCraftTextSlot), F::PngAlpha, drawTextAvionetu);
        constexpr int creditSlots[] = {kCredits1Slot, kCredits2Slot, kCredits3Slot,
                                       kCredits4Slot, kCredits5Slot, kCredits6Slot};
        for (int i = 0; i < 6; ++i) {
            screen(file(creditSlots[i]), F::PngAlpha, [i](Canvas& c) { drawCredits(c, i); });
        }
        screen(file(kTowerPageSlot), F::PngAlpha, drawFonsTralla);
        screen(file(kGreetingBackgroundSlot), F::PngRgb, drawCreditsFons);
        static_assert(kGreetingCount == 12, "drawGreet has a crew name for each greeting");
        for (int i = 0; i < kGreetingCount; ++i) {
            add(greetingFile(i + 1), F::PngAlpha, 256, 256, 256, 256,
                [i](Canvas& c) { drawGreet(c, i); });
        }
        screen(file(kClosing1Slot), F::Jpeg, drawTremo);
        screen(file(kClosing2Slot), F::Jpeg, drawCollaFinal);
        screen(file(kClosing3Slot), F::PngRgb, drawTerceraFinal);
        screen(file(kClosing4Slot), F::PngRgb, draw04Final);
        add(kLauncherPicture, F::PngRgb, 1600, 1200, 1600, 1200, drawBackground);
        return e;
    }();
    return list;
}

} // namespace

const std::vector<PictureFile>& pictureFiles() {
    static const std::vector<PictureFile> files = [] {
        std::vector<PictureFile> f;
        for (const auto& e : entries()) {
            f.push_back(e.file);
        }
        return f;
    }();
    return files;
}

std::string writePicture(const PictureFile& file, const std::filesystem::path& packageDir) {
    for (const auto& e : entries()) {
        if (e.file.name != file.name) {
            continue;
        }
        Canvas c(e.file.width, e.file.height, e.designW, e.designH);
        e.draw(c);
        const std::string path = (packageDir / e.file.name).string();
        // Only the show's textures go through the loader's row order; the launcher's
        // background is painted by a blitter that keeps pictures upright.
        const bool flip = showPicturesBottomRowFirst && e.file.name.starts_with("data/");
        switch (e.file.format) {
        case PictureFormat::Jpeg:
            return c.saveJpeg(path, flip);
        case PictureFormat::PngRgb:
            return c.savePng(path, false, flip);
        case PictureFormat::PngAlpha:
            return c.savePng(path, true, flip);
        }
    }
    return "no picture named " + file.name;
}

} // namespace contentgen
