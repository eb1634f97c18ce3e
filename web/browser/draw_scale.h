#pragma once
// The share of the window's size the page draws at, so that a machine too
// slow to fill a large window 50 times a second still shows most frames
// instead of a slideshow of catch-up steps. The browser scales the smaller
// drawing up to the window. Software GL is bound by the pixels it fills
// (measured in headless Chromium on SwiftShader, from frame 6400: 98 % of
// frames drawn at 640x480, 64 % at 960x720, 32 % at 1280x960).
#include <algorithm>

class DrawScale {
  public:
    // Frames per look at the figures: half a second of show.
    static constexpr int kWindowFrames = 25;
    // More catch-up steps than this in a look (a quarter): draw smaller.
    static constexpr int kMostSteps = kWindowFrames / 4;
    // Looks in a row without a single catch-up step before drawing larger.
    static constexpr int kCleanLooksToGrow = 6;
    static constexpr double kStep = 0.8;

    // floor: the least scale, where the drawing is the show's own 640x480
    // (or the whole window, where that is smaller).
    explicit DrawScale(double floor = 1.0) : floor_(std::clamp(floor, 0.0, 1.0)) {}

    double scale() const { return scale_; }
    double least() const { return least_; }

    // One show frame run, drawn or as a catch-up step. True when the scale
    // changed and the drawing must take its new size.
    bool noteFrame(bool caughtUp) {
        ++frames_;
        steps_ += caughtUp ? 1 : 0;
        if (frames_ < kWindowFrames) {
            return false;
        }
        const int steps = steps_;
        frames_ = 0;
        steps_ = 0;
        const double before = scale_;
        if (steps > kMostSteps) {
            scale_ = std::max(floor_, scale_ * kStep);
            cleanLooks_ = 0;
        } else if (steps == 0 && ++cleanLooks_ >= kCleanLooksToGrow) {
            scale_ = std::min(1.0, scale_ / kStep);
            cleanLooks_ = 0;
        } else if (steps > 0) {
            cleanLooks_ = 0;
        }
        least_ = std::min(least_, scale_);
        return scale_ != before;
    }

  private:
    double floor_;
    double scale_ = 1.0;
    double least_ = 1.0;
    int frames_ = 0;
    int steps_ = 0;
    int cleanLooks_ = 0;
};
