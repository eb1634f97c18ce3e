#pragma once

// A small window toolkit over SDL, enough for the launcher: one borderless,
// always-on-top window shaped by a colour key (or, where the display cannot
// shape windows, an ordinary one with the key colour painted), picture
// controls without
// windows of their own drawn over a persistent background in creation order,
// a 1 ms timer whose ticks run between events on the one UI thread, a modal
// message box and immediate process end.

#include "app/app.h"
#include "launcher/layout.h"
#include "launcher/pictures.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>

struct SDL_Window;
struct SDL_Surface;

struct PictureControl {
    std::string name;
    std::shared_ptr<const Picture> picture; // shared: assigning never copies
    bool stretch = false;                   // false: drawn at the picture's own size
    TwipsRect rect;                         // left, top, width, height in twips
    bool visible = true;
    std::function<void()> onClick;
};

class Form {
  public:
    Form() = default;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    ~Form();

    // Creates the window hidden, borderless and topmost, width x height at
    // the screen's origin: shaped where the display allows, otherwise
    // ordinary (shaped() tells which, and stderr why). False (with SDL's
    // reason) if no window can be made at all.
    bool create(const char* title, int32_t width, int32_t height);
    bool shaped() const { return shaped_; }
    // Why create failed.
    const std::string& error() const { return error_; }

    PictureControl& addControl(const std::string& name);

    // The background colour fills what no painting covers.
    void setBackColor(uint32_t argb);
    // Places the window and gives it a new size.
    void setBounds(int32_t x, int32_t y, int32_t width, int32_t height);
    // From now on, pixels of exactly this colour (as RGB) are see-through
    // and let the mouse through (on a shaped window; an ordinary one paints
    // them).
    void setColorKey(uint32_t argb);

    // The window's persistent drawing surface (what a device context gives
    // a painter): drawing on it shows at the next redraw, under the controls.
    AppSurface deviceContext();

    void show();
    // Hidden on the display before it returns.
    void hide();
    int32_t x() const { return originX_; }
    int32_t y() const { return originY_; }

    // Something visible changed: redraw before waiting for the next event.
    void invalidate() { dirty_ = true; }

    // Runs events and timer ticks until the process ends. `tick` runs on this
    // thread about every intervalMs milliseconds, never during a handler.
    [[noreturn]] void run(uint32_t intervalMs, const std::function<void()>& tick);

  private:
    void resizeBackground(int32_t width, int32_t height);
    void compose();
    void applyShape();
    void redraw();
    PictureControl* controlAt(int32_t x, int32_t y);

    SDL_Window* window_ = nullptr;
    SDL_Surface* background_ = nullptr; // painted once, kept for every redraw
    SDL_Surface* canvas_ = nullptr;     // background plus visible controls
    std::deque<PictureControl> controls_;
    uint32_t backColor_ = 0xFF000000u;
    bool shaped_ = false;
    bool keyed_ = false;
    uint32_t key_ = kKeyRed;
    bool dirty_ = true;
    int32_t originX_ = 0, originY_ = 0;
    int32_t width_ = 0, height_ = 0;
    PictureControl* pressed_ = nullptr;
    std::string error_;
};

// A modal box with an OK button and no icon; the text also goes to stderr,
// since a box may never be seen.
void showMessageBox(const char* text, const char* title);

// Ends the process at once, without further events.
[[noreturn]] void endProcess(int status);
