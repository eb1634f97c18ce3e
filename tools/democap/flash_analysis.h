#pragma once
// Flashing measured frame by frame after WCAG 2.x success criterion 2.3.1
// (the general flash and red flash thresholds), on the frames a capture
// renders. No GL here: it reads rows of RGB.
//
// - A transition is a swing of a pixel between a peak and a valley: in
//   relative luminance by 0.1 or more with the darker side below 0.8
//   (general), or to or from a saturated red (R/(R+G+B) >= 0.8) by more than
//   0.2 in the CIE 1976 u'v' chromaticity diagram (red).
// - A field, a 10 degree visual field, is a third of the frame each way (as
//   341 x 256 is at 1024 x 768); fields are tried all over the frame.
// - A field transitions in a frame where pixels over a quarter of its area
//   swing the same way in that frame; a flash is two opposing transitions.
// - The show fails where a field has more than three general or more than
//   three red flashes in any one second (50 frames).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace flash {

struct Rules {
    double leastLuminanceSwing = 0.1;
    double darkerBelow = 0.8;
    double redShare = 0.8;            // R/(R+G+B) of a saturated red
    double leastChromaticSwing = 0.2; // in u'v'
    double fieldShare = 1.0 / 3.0;    // of each side of the frame
    double areaShare = 0.25;          // of the field
    int framesPerSecond = 50;
    int mostFlashesPerSecond = 3;
};

// One second of the show: frames [second * 50, second * 50 + 49].
struct Second {
    int generalFlashes = 0; // the most in a field, in a one-second window ending in it
    int redFlashes = 0;
    double area = 0; // the largest share of a field that swung in one frame
};

// Frames where a one-second window ending there fails, joined.
struct Stretch {
    int32_t first = 0;
    int32_t last = 0;
    int worstFlashes = 0; // in one second, general or red
    bool red = false;     // the worst was a red flash
};

struct Report {
    int32_t firstFrame = 0;
    int32_t frames = 0;
    int framesPerSecond = 50;
    std::vector<Second> seconds; // from the second holding firstFrame
    std::vector<Stretch> failing;
    bool passes() const { return failing.empty(); }
};

class Analyser {
  public:
    Analyser(int width, int height, const Rules& rules = Rules{});
    ~Analyser();
    Analyser(const Analyser&) = delete;
    Analyser& operator=(const Analyser&) = delete;

    // The frames in order, without gaps: width * height RGB bytes, rows in
    // any order (the fields are tried all over).
    void add(int32_t frame, const uint8_t* rgb);
    Report finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The report as text: the verdict, the failing stretches, then one line a
// second. sceneAt names the scene a frame lies in (may be null).
std::string reportText(const Report& report, const char* (*sceneAt)(int32_t frame));

// The report as a picture: flashes per second along the show, general as
// bars and red beside them, the limit of three as a line, the scenes as a
// band beneath. Tight RGB rows, bottom row first (as democap writes PNGs).
struct Plot {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};
Plot plotPicture(const Report& report, const char* (*sceneAt)(int32_t frame));

} // namespace flash
