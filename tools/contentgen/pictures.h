// The show's pictures and the launcher's background: what each file is and how it is drawn.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace contentgen {

enum class PictureFormat {
    Jpeg,     // 24-bit JPEG
    PngRgb,   // 24-bit PNG, opaque
    PngAlpha, // 32-bit PNG whose alpha cuts the picture out
};

struct PictureFile {
    std::string name; // relative to the package folder, e.g. "data/vinil.jpg"
    PictureFormat format;
    int width;
    int height;
};

// The show's loader uploads a file's top row at texture t = 0, and every quad of the show
// puts t = 0 at its lower edge: a file's top row lands at the bottom of the screen. The
// show's pictures (data/) are therefore stored bottom row first, so that they stand upright
// on screen; the launcher's background is blitted upright and is stored top row first.
inline constexpr bool showPicturesBottomRowFirst = true;

// Every picture the generator writes: the show's data/ pictures and "backgd.png".
const std::vector<PictureFile>& pictureFiles();

// Draws and writes one picture below `packageDir`. Returns an empty string or the reason for
// failure.
std::string writePicture(const PictureFile& file, const std::filesystem::path& packageDir);

// The launcher's background design (1600 x 1200): the start button's and the quit button's
// rectangles, x, y, width, height in the picture's pixels.
struct DesignRect {
    int x, y, w, h;
};
inline constexpr DesignRect startButtonRect{580, 655, 288, 68};
inline constexpr DesignRect quitButtonRect{1020, 310, 100, 100};
inline constexpr DesignRect toggleRect{965, 500, 164, 139};

} // namespace contentgen
