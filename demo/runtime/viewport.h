#pragma once

// Fits viewport and the 45-degree perspective projection to a client size.
void resizeViewport(int width, int height);
