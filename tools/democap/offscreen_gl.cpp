#include "tools/democap/offscreen_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>
#include <vector>

#include "demo/runtime/show_framebuffer.h"

namespace {

bool hasExtension(const char* list, const char* name) {
    if (list == nullptr) {
        return false;
    }
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at != nullptr; at = std::strstr(at + 1, name)) {
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) {
            return true;
        }
    }
    return false;
}

// The first rendering device that starts (llvmpipe's software device where
// there is no GPU), else Mesa's surfaceless platform, else the default.
EGLDisplay openDisplay() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (getPlatformDisplay != nullptr && queryDevices != nullptr &&
        hasExtension(client, "EGL_EXT_platform_device")) {
        EGLint count = 0;
        if (queryDevices(0, nullptr, &count) == EGL_TRUE && count > 0) {
            std::vector<EGLDeviceEXT> devices(static_cast<size_t>(count));
            queryDevices(count, devices.data(), &count);
            for (EGLint i = 0; i < count; ++i) {
                EGLDisplay display =
                    getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
                if (display != EGL_NO_DISPLAY &&
                    eglInitialize(display, nullptr, nullptr) == EGL_TRUE) {
                    return display;
                }
            }
        }
    }
    if (getPlatformDisplay != nullptr && hasExtension(client, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay display =
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr) == EGL_TRUE) {
            return display;
        }
    }
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display != EGL_NO_DISPLAY && eglInitialize(display, nullptr, nullptr) == EGL_TRUE) {
        return display;
    }
    return EGL_NO_DISPLAY;
}

EGLint attribute(EGLDisplay display, EGLConfig config, EGLint name) {
    EGLint value = 0;
    eglGetConfigAttrib(display, config, name, &value);
    return value;
}

// Of the configurations with at least the show's framebuffer, the one with
// the fewest bits past it: EGL lists the deepest first, and alpha planes
// that were not asked for would change what the scenes blend with.
bool chooseConfig(EGLDisplay display, EGLint renderable, const ShowFramebuffer& wanted,
                  EGLConfig& chosen) {
    const EGLint request[] = {
        EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, renderable,    EGL_RED_SIZE,
        wanted.red,       EGL_GREEN_SIZE,  wanted.green,        EGL_BLUE_SIZE, wanted.blue,
        EGL_ALPHA_SIZE,   wanted.alpha,    EGL_DEPTH_SIZE,      wanted.depth,  EGL_STENCIL_SIZE,
        wanted.stencil,   EGL_NONE};
    EGLint count = 0;
    if (eglChooseConfig(display, request, nullptr, 0, &count) != EGL_TRUE || count <= 0) {
        return false;
    }
    std::vector<EGLConfig> configs(static_cast<size_t>(count));
    eglChooseConfig(display, request, configs.data(), count, &count);
    EGLint best = -1;
    for (EGLint i = 0; i < count; ++i) {
        const EGLint excess = attribute(display, configs[i], EGL_RED_SIZE) - wanted.red +
                              attribute(display, configs[i], EGL_GREEN_SIZE) - wanted.green +
                              attribute(display, configs[i], EGL_BLUE_SIZE) - wanted.blue +
                              attribute(display, configs[i], EGL_ALPHA_SIZE) - wanted.alpha +
                              attribute(display, configs[i], EGL_DEPTH_SIZE) - wanted.depth +
                              attribute(display, configs[i], EGL_STENCIL_SIZE) - wanted.stencil;
        if (best < 0 || excess < best) {
            best = excess;
            chosen = configs[i];
        }
    }
    return true;
}

std::string eglProblem(const std::string& what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
    return what + " (EGL error " + code + ")";
}

} // namespace

OffscreenGl::~OffscreenGl() {
    close();
    if (display_ != nullptr) {
        eglTerminate(static_cast<EGLDisplay>(display_));
    }
}

bool OffscreenGl::open(int width, int height, std::string& error, Api api, int alphaBits) {
    if (display_ == nullptr) {
        EGLDisplay display = openDisplay();
        if (display == EGL_NO_DISPLAY) {
            error = eglProblem("cannot start EGL: no rendering device");
            return false;
        }
        display_ = display;
    }
    EGLDisplay display = static_cast<EGLDisplay>(display_);
    const bool es3 = api == Api::Es3;
    if (eglBindAPI(es3 ? EGL_OPENGL_ES_API : EGL_OPENGL_API) != EGL_TRUE) {
        error = eglProblem(es3 ? "EGL offers no OpenGL ES" : "EGL offers no OpenGL");
        return false;
    }
    EGLConfig config = nullptr;
    if (!chooseConfig(display, es3 ? EGL_OPENGL_ES3_BIT : EGL_OPENGL_BIT,
                      showFramebuffer(32, alphaBits), config)) {
        error = eglProblem("no offscreen framebuffer with 8 bits a colour and a 16-bit depth");
        return false;
    }
    const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    surface_ = eglCreatePbufferSurface(display, config, size);
    if (surface_ == EGL_NO_SURFACE) {
        surface_ = nullptr;
        error = eglProblem("cannot make the offscreen surface of " + std::to_string(width) + "x" +
                           std::to_string(height));
        return false;
    }
    const EGLint es3Version[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 0,
                                 EGL_NONE};
    context_ = eglCreateContext(display, config, EGL_NO_CONTEXT, es3 ? es3Version : nullptr);
    if (context_ == EGL_NO_CONTEXT ||
        eglMakeCurrent(display, surface_, surface_, context_) != EGL_TRUE) {
        if (context_ == EGL_NO_CONTEXT) {
            context_ = nullptr;
        }
        error = eglProblem(es3 ? "cannot make an OpenGL ES 3 context" : "cannot make a GL context");
        return false;
    }
    eglSwapInterval(display, 0);
    return true;
}

void OffscreenGl::close() {
    if (display_ == nullptr) {
        return;
    }
    EGLDisplay display = static_cast<EGLDisplay>(display_);
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != nullptr) {
        eglDestroyContext(display, context_);
        context_ = nullptr;
    }
    if (surface_ != nullptr) {
        eglDestroySurface(display, surface_);
        surface_ = nullptr;
    }
}

void OffscreenGl::swap() {
    eglSwapBuffers(static_cast<EGLDisplay>(display_), surface_);
}

void* OffscreenGl::function(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}
