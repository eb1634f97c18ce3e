// Zantho1, the splash launcher: a see-through window over the whole screen
// with the background picture, a start and a quit button and the toggle
// between full screen and window for the demo.

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
    "as the toggle shows; the quit button ends the launcher.\n";

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "Zantho1: no display to show the launcher on: %s\n", SDL_GetError());
        return 1;
    }
    // SDL falls back to drivers with no screen behind them; nobody would
    // see the launcher there.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "offscreen") == 0 ||
        std::strcmp(driver, "dummy") == 0 || SDL_GetNumVideoDisplays() < 1) {
        std::fprintf(stderr, "Zantho1: no display to show the launcher on (video driver %s)\n",
                     driver != nullptr ? driver : "none");
        SDL_Quit();
        return 1;
    }
    if (!Form_Load()) {
        return 1;
    }
    Form_Activate();
    Form_Run();
}
