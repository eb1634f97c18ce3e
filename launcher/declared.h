#pragma once

// The platform and library functions the launcher binds by name, under the
// names it declares them with. ReadPCX comes from app.so beside the program,
// loaded on its first call; its address serves every later call.

#include "app/app.h"
#include "launcher/toolkit.h"

#include <cstdint>

namespace declared {

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

struct POINT {
    int32_t x = 0;
    int32_t y = 0;
};

// The desktop's width (SM_CXSCREEN) or height (SM_CYSCREEN) in pixels.
int32_t GetSystemMetrics(int index);
// The cursor's position on the screen.
void GetCursorPos(POINT* point);
// Window coordinates to screen coordinates.
void ClientToScreen(const Form& form, POINT* point);
// Puts the window over the given screen rectangle, above other windows.
void SetWindowPos(Form& form, int32_t x, int32_t y, int32_t width, int32_t height);

// Loading app.so or finding ReadPCX in it is not guarded by the caller: a
// failure is reported (box and stderr) and ends the launcher with status 1.
int32_t ReadPCX(const char* path, AppSurface* surface, int32_t destWidth, int32_t destHeight,
                int32_t destX, int32_t destY);

} // namespace declared
