#include "demo/desktop/gl_window.h"

#include <GL/gl.h>
#include <SDL.h>
#include <array>
#include <cstdio>
#include <cstdlib>

#include "demo/desktop/message_box.h"
#include "demo/desktop/visible_video.h"
#include "demo/runtime/show_framebuffer.h"
#include "demo/runtime/viewport.h"

namespace {

SDL_Window* demoWindow = nullptr;
SDL_GLContext demoContext = nullptr;
bool videoUp = false;
bool fullscreen = false;
bool active = true;
std::array<bool, 256> keys{};
// A press of Escape while active ends the show even if its release is
// handled before the loop looks at the held flag (a tap on a busy machine).
bool escapePressed = false;
bool exitHandlerSet = false;
bool declinedWindowed = false;
bool invisibleDriver = false; // offscreen or dummy: tests and capture

// The show's framebuffer, asked of SDL before the window is made.
void requestShowFramebuffer(int bitsPerPixel) {
    const ShowFramebuffer wanted = showFramebuffer(bitsPerPixel);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, wanted.red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, wanted.green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, wanted.blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, wanted.alpha);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, wanted.depth);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, wanted.stencil);
}

void errorBox(const char* text, BoxIcon icon = BoxIcon::Warning) {
    showMessageBox(text, "ERROR", icon, BoxButtons::Ok);
}

void shutdownBox(const char* text) {
    showMessageBox(text, "SHUTDOWN ERROR", BoxIcon::Information, BoxButtons::Ok);
}

// X11 does not restore a mode a program set when it ends (the show ends by
// exiting the process), so put the desktop back on every way out.
void restoreDisplayAtExit() {
    if (videoUp) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoUp = false;
    }
}

bool setFullscreenMode(int width, int height, int bits) {
    SDL_DisplayMode mode{};
    mode.w = width;
    mode.h = height;
    mode.format = bits >= 24 ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_RGB565;
    SDL_DisplayMode closest{};
    if (SDL_GetClosestDisplayMode(0, &mode, &closest) == nullptr || closest.w != width ||
        closest.h != height) {
        return false;
    }
    if (SDL_SetWindowDisplayMode(demoWindow, &closest) != 0) {
        return false;
    }
    // On a hidden window this only records the wish: the switch itself
    // happens when the window is shown, and is checked then.
    return SDL_SetWindowFullscreen(demoWindow, SDL_WINDOW_FULLSCREEN) == 0;
}

// The display's mode once the fullscreen window is shown.
bool fullscreenModeTook(int width, int height, int bits) {
    SDL_DisplayMode current{};
    const int display = SDL_GetWindowDisplayIndex(demoWindow);
    if (display < 0 || SDL_GetCurrentDisplayMode(display, &current) != 0) {
        return false;
    }
    return fullscreenModeInForce(
        {width, height, bits},
        {current.w, current.h, static_cast<int>(SDL_BITSPERPIXEL(current.format))});
}

enum class Fallback { Windowed, Close };

// The fallback question. A question that could not be shown was not
// answered: play in a window, the safe answer, and say so.
Fallback askWindowedFallback() {
    switch (showMessageBox("The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. "
                           "Use Windowed Mode Instead?",
                           "Lumo GL", BoxIcon::Warning, BoxButtons::YesNo)) {
    case BoxAnswer::Yes:
        return Fallback::Windowed;
    case BoxAnswer::No:
        return Fallback::Close;
    case BoxAnswer::NotShown:
        break;
    }
    std::fprintf(stderr, "demo: the fullscreen question could not be shown: playing in a window\n");
    return Fallback::Windowed;
}

void leaveFullscreen() {
    fullscreen = false;
    SDL_SetWindowFullscreen(demoWindow, 0);
    SDL_SetWindowResizable(demoWindow, SDL_TRUE);
    SDL_ShowCursor(SDL_ENABLE);
}

// The question, then its answer: false after "No", once the window is
// released and the closing box shown.
bool fallBackToWindow() {
    if (askWindowedFallback() == Fallback::Close) {
        declinedWindowed = true;
        closeDemoWindow();
        errorBox("Program Will Now Close.", BoxIcon::Stop);
        return false;
    }
    leaveFullscreen();
    return true;
}

void pushQuit() {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
}

} // namespace

int virtualKeyFromSdl(int key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + (key - SDLK_a);
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return '0' + (key - SDLK_0);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return 0x70 + (key - SDLK_F1);
    }
    switch (key) {
    case SDLK_ESCAPE:
        return 0x1B;
    case SDLK_BACKSPACE:
        return 0x08;
    case SDLK_TAB:
        return 0x09;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return 0x0D;
    case SDLK_SPACE:
        return 0x20;
    case SDLK_PAGEUP:
        return 0x21;
    case SDLK_PAGEDOWN:
        return 0x22;
    case SDLK_END:
        return 0x23;
    case SDLK_HOME:
        return 0x24;
    case SDLK_LEFT:
        return 0x25;
    case SDLK_UP:
        return 0x26;
    case SDLK_RIGHT:
        return 0x27;
    case SDLK_DOWN:
        return 0x28;
    case SDLK_INSERT:
        return 0x2D;
    case SDLK_DELETE:
        return 0x2E;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return 0x10;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return 0x11;
    case SDLK_LALT:
    case SDLK_RALT:
        return 0x12;
    case SDLK_PAUSE:
        return 0x13;
    case SDLK_CAPSLOCK:
        return 0x14;
    default:
        return 0;
    }
}

bool fullscreenModeInForce(const ModeReading& requested, const ModeReading& current) {
    if (current.width != requested.width || current.height != requested.height) {
        return false;
    }
    // 24 and 32 bits are the same true-colour depth to X11 (SDL says 24);
    // 0 is a platform that does not say.
    const auto depth = [](int bits) { return bits >= 24 ? 24 : bits; };
    return current.bitsPerPixel == 0 ||
           depth(current.bitsPerPixel) == depth(requested.bitsPerPixel);
}

namespace {

// The video subsystem up, on a display someone can see. False (with its box
// shown) when there is none.
bool startVideo() {
    // A show nobody can see is a failure, unless an invisible driver was
    // asked for (tests, capture).
    const visible_video::Start video = visible_video::start();
    if (!video.ok) {
        std::fprintf(stderr, "demo: %s\n", video.reason.c_str());
        errorBox("Failed To Register The Window Class.");
        return false;
    }
    videoUp = true;
    invisibleDriver = visible_video::isInvisibleDriver(SDL_GetCurrentVideoDriver());
    if (!exitHandlerSet) {
        std::atexit(restoreDisplayAtExit);
        exitHandlerSet = true;
    }
    SDL_DisableScreenSaver(); // no screen saver or power-down while the show runs
    return true;
}

// Closes what is open and shows the box, with SDL's reason on stderr.
bool failWith(const char* box) {
    std::fprintf(stderr, "SDL: %s\n", SDL_GetError());
    closeDemoWindow();
    errorBox(box);
    return false;
}

// The GL context made and current on the window.
bool makeContext() {
    demoContext = SDL_GL_CreateContext(demoWindow);
    if (demoContext == nullptr) {
        return failWith("Can't Create A GL Rendering Context.");
    }
    if (SDL_GL_MakeCurrent(demoWindow, demoContext) != 0) {
        return failWith("Can't Activate The GL Rendering Context.");
    }
    SDL_GL_SetSwapInterval(0); // the busy-wait paces frames, not the display
    lockDestinationAlpha([](void* w) { SDL_GL_SwapWindow(static_cast<SDL_Window*>(w)); },
                         demoWindow);
    return true;
}

} // namespace

bool openDemoWindow(const char* title, int width, int height, int bits, bool fullscreenRequested) {
    fullscreen = fullscreenRequested;
    if (!startVideo()) {
        return false;
    }
    requestShowFramebuffer(bits);

    // Windowed, an ordinary window: resizable and maximizable, the
    // projection following its client area.
    const Uint32 style = fullscreen ? 0u : Uint32{SDL_WINDOW_RESIZABLE};
    demoWindow =
        SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | style);
    if (demoWindow == nullptr) {
        return failWith("Window Creation Error.");
    }
    if (fullscreen && !setFullscreenMode(width, height, bits) && !fallBackToWindow()) {
        return false;
    }
    if (fullscreen) {
        SDL_ShowCursor(SDL_DISABLE);
    }
    if (!makeContext()) {
        return false;
    }
    SDL_ShowWindow(demoWindow);
    // A listed mode can still be refused when the switch happens; then
    // this is the same question as for a mode that is not listed.
    if (fullscreen && !fullscreenModeTook(width, height, bits)) {
        std::fprintf(stderr, "demo: the display did not switch to %dx%d\n", width, height);
        if (!fallBackToWindow()) {
            return false;
        }
        SDL_SetWindowSize(demoWindow, width, height);
    }
    SDL_RaiseWindow(demoWindow);
    resizeViewport(width, height);
    return true;
}

void closeDemoWindow() {
    if (fullscreen && demoWindow != nullptr) {
        SDL_SetWindowFullscreen(demoWindow, 0); // back to the desktop mode
        SDL_ShowCursor(SDL_ENABLE);
    }
    if (demoContext != nullptr) {
        if (SDL_GL_MakeCurrent(demoWindow, nullptr) != 0) {
            shutdownBox("Release Of DC And RC Failed.");
        }
        SDL_GL_DeleteContext(demoContext);
        demoContext = nullptr;
    }
    if (demoWindow != nullptr) {
        SDL_DestroyWindow(demoWindow);
        demoWindow = nullptr;
    }
    if (videoUp) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoUp = false;
    }
}

PumpResult pumpDemoMessage() {
    SDL_Event event;
    if (SDL_PollEvent(&event) == 0) {
        return PumpResult::NoMessage;
    }
    switch (event.type) {
    case SDL_QUIT:
        return PumpResult::Quit;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_MINIMIZED:
            active = false;
            break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_EXPOSED:
            if ((SDL_GetWindowFlags(demoWindow) & SDL_WINDOW_MINIMIZED) == 0) {
                active = true;
            }
            break;
        case SDL_WINDOWEVENT_CLOSE:
            pushQuit(); // quit code 0
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            resizeViewport(event.window.data1, event.window.data2);
            break;
        default:
            break;
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const int vk = virtualKeyFromSdl(event.key.keysym.sym);
        if (vk > 0 && vk < 256) {
            keys[static_cast<size_t>(vk)] = event.type == SDL_KEYDOWN;
        }
        if (vk == kVirtualKeyEscape && event.type == SDL_KEYDOWN && active) {
            escapePressed = true;
        }
        break;
    }
    default:
        break;
    }
    return PumpResult::Handled;
}

void swapDemoBuffers() {
    if (demoWindow != nullptr) {
        SDL_GL_SwapWindow(demoWindow);
        // Under the offscreen driver (tests, capture) the swap neither flushes
        // nor waits for the frame, as showing it on a screen does: llvmpipe
        // then queued every frame's commands (past 600 MB within a minute),
        // and with only a flush it still ran frames ahead in the slow spark
        // frames (a step of 220 MB). Wait for the frame, as a display would.
        if (invisibleDriver) {
            glFinish();
        } else {
            glFlush();
        }
    }
}

bool demoDeclinedWindowed() {
    return declinedWindowed;
}

bool demoWindowActive() {
    return active;
}
bool demoEscapeRequested() {
    return escapePressed || demoKeyHeld(kVirtualKeyEscape);
}

bool demoKeyHeld(int virtualKey) {
    return virtualKey >= 0 && virtualKey < 256 && keys[static_cast<size_t>(virtualKey)];
}
