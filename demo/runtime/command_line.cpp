#include "demo/runtime/command_line.h"

#include <cstring>

bool parseFullscreenArgument(int argc, const char* const* argv) {
    bool fullscreen = false;
    for (int i = 0; i < argc; ++i) {
        if (argv[i] != nullptr && std::strcmp(argv[i], "1") == 0) {
            fullscreen = true;
        }
    }
    return fullscreen;
}

bool parseGentleArgument(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] != nullptr && std::strcmp(argv[i], "--gentle") == 0) {
            return true;
        }
    }
    return false;
}
