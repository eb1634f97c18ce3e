#include "demo/desktop/sdl_time_source.h"

#include <SDL.h>

int64_t SdlTimeSource::performanceFrequency() {
    return static_cast<int64_t>(SDL_GetPerformanceFrequency());
}
int64_t SdlTimeSource::performanceCounter() {
    return static_cast<int64_t>(SDL_GetPerformanceCounter());
}
uint32_t SdlTimeSource::milliseconds() {
    return SDL_GetTicks();
}
