#pragma once

// The 640 x 480 screen-space frame most picture scenes draw in: y grows
// upwards, z +1 is the near and z -1 the far plane, whatever the window size.
void beginOverlay();
void endOverlay();
// One full-screen quad at depth z, t = 0 at its lower edge.
void drawScreenQuad(float z);
