#include "launcher/toolkit.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr Uint32 kWindowFlags =
    SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP;

// Testing aid: behave as on a display that cannot shape windows (an X server
// without SHAPE, a Wayland session), which the test displays never are.
bool shapedWindowsRefused() {
    const char* value = std::getenv("VEMU_NO_SHAPED_WINDOWS");
    return value != nullptr && *value != '\0' && *value != '0';
}

SDL_Surface* makeSurface(int32_t width, int32_t height) {
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (surface != nullptr) {
        SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_NONE);
    }
    return surface;
}

} // namespace

Form::~Form() {
    SDL_FreeSurface(canvas_);
    SDL_FreeSurface(background_);
    if (window_ != nullptr) {
        SDL_DestroyWindow(window_);
    }
}

bool Form::create(const char* title, int32_t width, int32_t height) {
    // A window surface backed by a GL texture would make SDL recreate the
    // window, and a recreated window loses its shape: draw in software.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_ClearError();
    if (shapedWindowsRefused()) {
        SDL_SetError("shaped windows refused (VEMU_NO_SHAPED_WINDOWS)");
    } else {
        window_ =
            SDL_CreateShapedWindow(title, 0, 0, unsigned(width), unsigned(height), kWindowFlags);
    }
    shaped_ = window_ != nullptr;
    if (!shaped_) {
        // Degrade rather than give up: the same window, the key colour shown.
        std::fprintf(stderr, "Zantho1: no see-through window here (%s); showing an opaque one\n",
                     SDL_GetError());
        window_ = SDL_CreateWindow(title, 0, 0, width, height, kWindowFlags);
        if (window_ == nullptr) {
            error_ = SDL_GetError();
            return false;
        }
    }
    // A shaped window starts off-screen; it goes where it is told only here.
    SDL_SetWindowPosition(window_, 0, 0);
    width_ = width;
    height_ = height;
    resizeBackground(width, height);
    if (background_ == nullptr || canvas_ == nullptr) {
        error_ = SDL_GetError();
        return false;
    }
    return true;
}

PictureControl& Form::addControl(const std::string& name) {
    PictureControl& control = controls_.emplace_back();
    control.name = name;
    return control;
}

void Form::resizeBackground(int32_t width, int32_t height) {
    SDL_FreeSurface(canvas_);
    SDL_FreeSurface(background_);
    background_ = makeSurface(width, height);
    canvas_ = makeSurface(width, height);
    if (background_ != nullptr) {
        SDL_FillRect(background_, nullptr, backColor_);
    }
    dirty_ = true;
}

void Form::setBackColor(uint32_t argb) {
    backColor_ = argb;
    if (background_ != nullptr) {
        SDL_FillRect(background_, nullptr, backColor_);
    }
    dirty_ = true;
}

void Form::setBounds(int32_t x, int32_t y, int32_t width, int32_t height) {
    originX_ = x;
    originY_ = y;
    SDL_SetWindowPosition(window_, x, y);
    if (width != width_ || height != height_) {
        SDL_SetWindowSize(window_, width, height);
        width_ = width;
        height_ = height;
        resizeBackground(width, height);
    }
    dirty_ = true;
}

void Form::setColorKey(uint32_t argb) {
    keyed_ = true;
    key_ = argb;
    dirty_ = true;
}

AppSurface Form::deviceContext() {
    AppSurface surface{};
    if (background_ != nullptr) {
        surface.pixels = static_cast<uint32_t*>(background_->pixels);
        surface.width = background_->w;
        surface.height = background_->h;
        surface.pitch = background_->pitch;
    }
    dirty_ = true;
    return surface;
}

void Form::show() {
    // Shaped before it is mapped: no frame of the window without its shape.
    compose();
    applyShape();
    SDL_ShowWindow(window_);
    // Some window managers move a window as it maps; ours stays at its place.
    SDL_SetWindowPosition(window_, originX_, originY_);
    dirty_ = true;
}

void Form::hide() {
    SDL_HideWindow(window_);
    SDL_PumpEvents(); // lets the hide reach the display before anything else
}

// The canvas: the background with the visible controls over it.
void Form::compose() {
    if (canvas_ == nullptr || background_ == nullptr) {
        return;
    }
    SDL_BlitSurface(background_, nullptr, canvas_, nullptr);
    auto* pixels = static_cast<uint32_t*>(canvas_->pixels);
    const int32_t pitch = canvas_->pitch / 4;
    for (const PictureControl& control : controls_) {
        if (!control.visible || !control.picture) {
            continue;
        }
        const PixelRect rect = controlPixels(control.rect);
        const int32_t width = control.stretch ? rect.width : control.picture->width;
        const int32_t height = control.stretch ? rect.height : control.picture->height;
        drawStretched(pixels, canvas_->w, canvas_->h, pitch, *control.picture, rect.x, rect.y,
                      width, height);
    }
}

void Form::applyShape() {
    if (!keyed_ || !shaped_ || canvas_ == nullptr) {
        return;
    }
    // The shape surface has to be exactly the window's size.
    SDL_WindowShapeMode mode{};
    mode.mode = ShapeModeColorKey;
    mode.parameters.colorKey = {Uint8(key_ >> 16), Uint8(key_ >> 8), Uint8(key_), 255};
    SDL_SetWindowShape(window_, canvas_, &mode);
    // Setting a shape for the first time may move the window.
    SDL_SetWindowPosition(window_, originX_, originY_);
}

void Form::redraw() {
    dirty_ = false;
    if (canvas_ == nullptr || background_ == nullptr) {
        return;
    }
    compose();
    applyShape();
    SDL_Surface* screen = SDL_GetWindowSurface(window_);
    if (screen != nullptr) {
        SDL_BlitSurface(canvas_, nullptr, screen, nullptr);
        SDL_UpdateWindowSurface(window_);
    }
}

PictureControl* Form::controlAt(int32_t x, int32_t y) {
    // The last created lies on top.
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        if (!it->visible || !it->picture) {
            continue;
        }
        const PixelRect rect = controlPixels(it->rect);
        const int32_t width = it->stretch ? rect.width : it->picture->width;
        const int32_t height = it->stretch ? rect.height : it->picture->height;
        if (x >= rect.x && y >= rect.y && x < rect.x + width && y < rect.y + height) {
            return &*it;
        }
    }
    return nullptr;
}

void Form::run(uint32_t intervalMs, const std::function<void()>& tick) {
    Uint64 lastTick = SDL_GetTicks64();
    for (;;) {
        if (dirty_) {
            redraw();
        }
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, int(intervalMs)) != 0) {
            do {
                switch (event.type) {
                case SDL_QUIT:
                    endProcess(0);
                case SDL_MOUSEBUTTONDOWN:
                    if (event.button.button == SDL_BUTTON_LEFT) {
                        pressed_ = controlAt(event.button.x, event.button.y);
                    }
                    break;
                case SDL_MOUSEBUTTONUP:
                    // A click is a press and a release on the same control.
                    if (event.button.button == SDL_BUTTON_LEFT) {
                        PictureControl* released = controlAt(event.button.x, event.button.y);
                        PictureControl* pressed = pressed_;
                        pressed_ = nullptr;
                        if (released != nullptr && released == pressed && released->onClick) {
                            released->onClick();
                        }
                    }
                    break;
                case SDL_WINDOWEVENT:
                    if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                        event.window.event == SDL_WINDOWEVENT_SHOWN) {
                        dirty_ = true;
                    }
                    break;
                default: // key presses and everything else change nothing
                    break;
                }
            } while (SDL_PollEvent(&event) != 0);
        }
        const Uint64 now = SDL_GetTicks64();
        if (now - lastTick >= intervalMs) {
            lastTick = now;
            tick();
        }
    }
}

void showMessageBox(const char* text, const char* title) {
    std::fprintf(stderr, "%s: %s\n", title, text);
    std::fflush(stderr);
    SDL_ShowSimpleMessageBox(0, title, text, nullptr);
}

void endProcess(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}
