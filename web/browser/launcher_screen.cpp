// The page's start screen is the launcher: its layout and its own pictures,
// computed by the launcher's code, handed to the page, which lays them over
// the window as the launcher lays them over the screen.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "launcher/layout.h"
#include "launcher/pictures.h"

extern "C" {

// For a window of width x height pixels: the background picture's size and
// margins, then the quit face's, the start face's and the toggle's pixel
// rectangles, one line each, as "x y width height".
EMSCRIPTEN_KEEPALIVE const char* vemu_launcher_layout(int width, int height) {
    static std::string text;
    const LauncherLayout layout = computeLayout(width, height);
    char line[96];
    std::snprintf(line, sizeof line, "%d %d %d %d\n", static_cast<int>(layout.marginX),
                  static_cast<int>(layout.marginY), static_cast<int>(layout.pictureWidth),
                  static_cast<int>(layout.pictureHeight));
    text = line;
    for (const DesignRect& design : {kImage2Design, kImage3Design, kImage5Design}) {
        const PixelRect r = controlPixels(placeControl(layout, design));
        std::snprintf(line, sizeof line, "%d %d %d %d\n", static_cast<int>(r.x),
                      static_cast<int>(r.y), static_cast<int>(r.width), static_cast<int>(r.height));
        text += line;
    }
    return text.c_str();
}

// One of the launcher's pictures (0 the quit face, 1 the start face, 2 and
// 3 the toggle for a window and for full screen) as its width, its height
// (32-bit each) and its RGBA pixels, rows top first; the key red is clear.
EMSCRIPTEN_KEEPALIVE const uint8_t* vemu_launcher_picture(int which) {
    static std::vector<uint8_t> bytes;
    const Picture picture = which == 0   ? makeQuitFace()
                            : which == 1 ? makeStartFace()
                            : which == 2 ? makeToggleWindow()
                                         : makeToggleFull();
    bytes.assign(8 + picture.pixels.size() * 4, 0);
    const int32_t size[2] = {picture.width, picture.height};
    std::memcpy(bytes.data(), size, sizeof size);
    uint8_t* out = bytes.data() + 8;
    for (const uint32_t pixel : picture.pixels) {
        out[0] = static_cast<uint8_t>(pixel >> 16);
        out[1] = static_cast<uint8_t>(pixel >> 8);
        out[2] = static_cast<uint8_t>(pixel);
        out[3] = pixel == kKeyRed ? 0 : 255;
        out += 4;
    }
    return bytes.data();
}

} // extern "C"
