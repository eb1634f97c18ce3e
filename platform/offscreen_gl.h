#pragma once
// A window of SDL's offscreen video driver with its GL context (on Mesa's
// llvmpipe), for the programs and tests that draw the show without a
// display: the show's own framebuffer (democap, the tests), or an OpenGL ES
// 3 context, what WebGL 2 offers (webframes).
#include <SDL.h>

#include <string>

#include "platform/sdl_gl_framebuffer.h"

class OffscreenGl {
  public:
    enum class Api { ShowGl, Es3 };

    OffscreenGl() = default;
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;
    ~OffscreenGl() {
        close();
        if (sdlUp_) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        }
    }

    // The context made current, or false with error set.
    bool open(int width, int height, std::string& error, Api api = Api::ShowGl, int alphaBits = 0) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (!sdlUp_) {
            if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
                error = std::string("cannot start SDL video: ") + SDL_GetError();
                return false;
            }
            sdlUp_ = true;
        }
        if (api == Api::Es3) {
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
            SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
        }
        requestShowFramebuffer(32, alphaBits);
        window_ = SDL_CreateWindow("Vemu", 0, 0, width, height, SDL_WINDOW_OPENGL);
        if (window_ == nullptr) {
            error = std::string("cannot make the offscreen window: ") + SDL_GetError();
            return false;
        }
        context_ = SDL_GL_CreateContext(window_);
        if (context_ == nullptr || SDL_GL_MakeCurrent(window_, context_) != 0) {
            error = std::string(api == Api::Es3 ? "cannot make an OpenGL ES 3 context: "
                                                : "cannot make a GL context: ") +
                    SDL_GetError();
            return false;
        }
        SDL_GL_SetSwapInterval(0);
        return true;
    }

    // Gives up the window and context, to open again at another size.
    void close() {
        if (context_ != nullptr) {
            SDL_GL_DeleteContext(context_);
            context_ = nullptr;
        }
        if (window_ != nullptr) {
            SDL_DestroyWindow(window_);
            window_ = nullptr;
        }
    }

    void swap() { SDL_GL_SwapWindow(window_); }
    SDL_Window* window() const { return window_; }

  private:
    bool sdlUp_ = false;
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
};
