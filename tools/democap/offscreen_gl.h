#pragma once
// The headless capture's window: an EGL pbuffer with its GL context, with no
// display and no window system (Mesa's llvmpipe where there is no GPU), for
// the programs and tests that draw the show without a screen: the show's
// own framebuffer (democap, the tests), or an OpenGL ES 3 context, what
// WebGL 2 offers (webframes).

#include <string>

class OffscreenGl {
  public:
    enum class Api { ShowGl, Es3 };

    OffscreenGl() = default;
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;
    ~OffscreenGl();

    // The context made current, or false with error set.
    bool open(int width, int height, std::string& error, Api api = Api::ShowGl, int alphaBits = 0);
    // Gives up the surface and context, to open again at another size.
    void close();
    void swap();

    // A GL function by name (those past GL 1.1), or null.
    static void* function(const char* name);

  private:
    void* display_ = nullptr;
    void* surface_ = nullptr;
    void* context_ = nullptr;
};
