#include "launcher/declared.h"

#include "launcher/process_start.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstring>

#include <string>

namespace declared {

int32_t GetSystemMetrics(int index) {
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
        return 0;
    }
    return index == SM_CXSCREEN ? mode.w : index == SM_CYSCREEN ? mode.h : 0;
}

void GetCursorPos(POINT* point) {
    int x = 0;
    int y = 0;
    // On X, SDL answers from a cache that only XInput's raw motion refreshes,
    // which synthetic and some real pointer moves never send: ask the server.
    static Display* display = nullptr;
    static bool triedX = false;
    if (!triedX) {
        triedX = true;
        const char* driver = SDL_GetCurrentVideoDriver();
        if (driver != nullptr && std::strcmp(driver, "x11") == 0) {
            display = XOpenDisplay(nullptr);
        }
    }
    Window root = 0;
    Window child = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned int buttons = 0;
    if (display == nullptr || !XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x,
                                             &y, &windowX, &windowY, &buttons)) {
        SDL_GetGlobalMouseState(&x, &y);
    }
    point->x = x;
    point->y = y;
}

void ClientToScreen(const Form& form, POINT* point) {
    point->x += form.x();
    point->y += form.y();
}

void SetWindowPos(Form& form, int32_t x, int32_t y, int32_t width, int32_t height) {
    form.setBounds(x, y, width, height);
}

namespace {

[[noreturn]] void runTimeError(const std::string& text) {
    showMessageBox(text.c_str(), "Zantho1");
    endProcess(1);
}

} // namespace

int32_t ReadPCX(const char* path, AppSurface* surface, int32_t destWidth, int32_t destHeight,
                int32_t destX, int32_t destY) {
    static ReadPCXProc bound = nullptr;
    if (bound == nullptr) {
        const std::string library = executableFolder() + "/app.so";
        void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = dlerror();
            runTimeError("Cannot load app.so: " + std::string(reason ? reason : library));
        }
        // Kept loaded for the life of the process.
        bound = reinterpret_cast<ReadPCXProc>(dlsym(handle, "ReadPCX"));
        if (bound == nullptr) {
            runTimeError("Cannot find ReadPCX in " + library);
        }
    }
    return bound(path, surface, destWidth, destHeight, destX, destY);
}

} // namespace declared
