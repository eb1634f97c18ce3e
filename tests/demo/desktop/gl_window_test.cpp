#include "demo/desktop/gl_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

TEST(GlWindow, FullscreenCountsOnlyWhenTheDisplayReportsTheRequestedMode) {
    // What the display says after the switch; 32 bits were asked for.
    EXPECT_TRUE(fullscreenModeInForce({640, 480, 32}, {640, 480, 24})); // X11's true colour
    EXPECT_TRUE(fullscreenModeInForce({640, 480, 32}, {640, 480, 32}));
    EXPECT_TRUE(fullscreenModeInForce({640, 480, 32}, {640, 480, 0}));    // depth not said
    EXPECT_FALSE(fullscreenModeInForce({640, 480, 32}, {1024, 768, 24})); // switch refused
    EXPECT_FALSE(fullscreenModeInForce({640, 480, 32}, {640, 400, 24}));
    EXPECT_FALSE(fullscreenModeInForce({640, 480, 32}, {640, 480, 16}));
    EXPECT_TRUE(fullscreenModeInForce({640, 480, 16}, {640, 480, 16}));
}

void send(Uint32 type, SDL_Keycode key) {
    SDL_Event event{};
    event.type = type;
    event.key.keysym.sym = key;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

void sendWindowEvent(SDL_WindowEventID what) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = what;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

void pumpAll() {
    while (pumpDemoMessage() != PumpResult::NoMessage) {
    }
}

// A press and its release handled back to back, before the loop looks at
// the held flag, must still end the show; other keys keep their held meaning.
TEST(GlWindow, AnEscapeTapIsNotLostButOneWhileMinimizedIsIgnored) {
    ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0) << SDL_GetError();
    sendWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
    send(SDL_KEYDOWN, SDLK_ESCAPE);
    send(SDL_KEYUP, SDLK_ESCAPE);
    pumpAll();
    EXPECT_FALSE(demoWindowActive());
    EXPECT_FALSE(demoEscapeRequested()) << "a tap while minimized counts";

    sendWindowEvent(SDL_WINDOWEVENT_RESTORED);
    send(SDL_KEYDOWN, SDLK_SPACE);
    send(SDL_KEYUP, SDLK_SPACE);
    pumpAll();
    EXPECT_TRUE(demoWindowActive());
    EXPECT_FALSE(demoKeyHeld(0x20));
    EXPECT_FALSE(demoEscapeRequested());

    send(SDL_KEYDOWN, SDLK_ESCAPE);
    send(SDL_KEYUP, SDLK_ESCAPE);
    pumpAll();
    EXPECT_FALSE(demoKeyHeld(kVirtualKeyEscape));
    EXPECT_TRUE(demoEscapeRequested());
    SDL_Quit();
}

} // namespace
