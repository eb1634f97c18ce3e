#pragma once

// Fits viewport and the 45-degree perspective projection to a client size.
void resizeViewport(int width, int height);

// The scenes blend with destination alpha and count on it reading 1, as on
// a visual without alpha planes. Alpha size is only a minimum to GLX and
// EGL, and many drivers and compositing desktops hand out 8 bits anyway:
// then the planes of both buffers are filled with 1 (swapBuffers shows the
// first so the second can be filled) and closed to writes for good. A
// context without alpha planes is left exactly as it is. Returns the alpha
// bits found.
int lockDestinationAlpha(void (*swapBuffers)(void* context), void* context);
