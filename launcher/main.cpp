// Zantho1, the splash launcher: a see-through window over the whole screen
// with the background picture, a start and a quit button and the toggle
// between full screen and window for the demo.

#include "demo/desktop/visible_video.h"
#include "launcher/form1.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "Usage: Zantho1\n"
    "Shows the launcher over the whole screen. It paints backgd.png from the\n"
    "current directory through app.so beside the program. Click the start\n"
    "button to run demo (beside the program) with 1 (full screen) or 0 (window),\n"
    "as the toggle shows; the quit button ends the launcher.\n"
    "Where the display cannot make see-through windows, the window is opaque\n"
    "and the picture's surroundings show in red; everything else works.\n"
    "\n"
    "Testing aid (environment):\n"
    "  VEMU_NO_SHAPED_WINDOWS=1  behave as on a display without see-through\n"
    "                            windows\n";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    // Nobody would see the launcher on an invisible driver, even one asked
    // for by name.
    const visible_video::Start video = visible_video::start();
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!video.ok || visible_video::isInvisibleDriver(driver) || SDL_GetNumVideoDisplays() < 1) {
        std::fprintf(stderr, "Zantho1: no display to show the launcher on: %s\n",
                     !video.ok ? video.reason.c_str() : "no screen behind the video driver");
        SDL_Quit();
        return 1;
    }
    if (!Form_Load()) {
        return 1;
    }
    Form_Activate();
    Form_Run();
}
