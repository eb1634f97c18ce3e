#pragma once

// Starts SDL's video on a display people can see, for the demo and the
// launcher.
//
// SDL quietly falls back to its invisible drivers (offscreen, dummy) when it
// cannot reach the display, so a program would run and show nothing. And an
// X server under load refuses a new connection now and then (it closes it
// before the handshake), so one refusal is not yet "no display": retry for a
// moment. A driver asked for by name (tests, capture) is taken as it is.

#include <SDL.h>

#include <string>

namespace visible_video {

struct Start {
    bool ok = false;
    std::string reason; // why not, for the error message
};

inline bool isInvisibleDriver(const char* driver) {
    return driver == nullptr || SDL_strcmp(driver, "offscreen") == 0 ||
           SDL_strcmp(driver, "dummy") == 0;
}

inline bool isSet(const char* variable) {
    const char* value = SDL_getenv(variable);
    return value != nullptr && value[0] != '\0';
}

// Initialises SDL_INIT_VIDEO; on failure leaves it uninitialised.
inline Start start(int attempts = 20, Uint32 pauseMs = 100) {
    const char* requested = SDL_getenv("SDL_VIDEODRIVER");
    const bool named = requested != nullptr && requested[0] != '\0';
    const bool x11 = isSet("DISPLAY");
    const bool wayland = isSet("WAYLAND_DISPLAY");
    if (!named && x11 && !wayland) {
        // Only X is there: a refused connection then fails here, with X's
        // own reason, instead of falling through to the other drivers.
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    }
    if (named || (!x11 && !wayland)) {
        attempts = 1;
    }
    std::string reason;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) {
            SDL_Delay(pauseMs);
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            reason = SDL_GetError();
            continue;
        }
        const char* driver = SDL_GetCurrentVideoDriver();
        if (!isInvisibleDriver(driver) || (named && SDL_strcmp(requested, driver) == 0)) {
            return {true, {}};
        }
        reason = std::string("only the invisible video driver ") + (driver ? driver : "?") +
                 " is available";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    if (!named && !x11 && !wayland) {
        return {false, "no display (DISPLAY and WAYLAND_DISPLAY are unset)"};
    }
    if (!named) {
        const char* where = x11 ? SDL_getenv("DISPLAY") : SDL_getenv("WAYLAND_DISPLAY");
        return {false, "cannot reach the display " + std::string(where) + ": " + reason};
    }
    return {false, reason};
}

} // namespace visible_video
