#pragma once

// The 640 x 480 screen-space frame most picture scenes draw in: y grows
// upwards, z +1 is the near and z -1 the far plane, whatever the window size.
void beginOverlay();
void endOverlay();
// One full-screen quad at depth z, t = 0 at its lower edge.
void drawScreenQuad(float z);
// The white flash in the current colour at depth z: the whole screen, or in
// the gentle show a thin frame around its edges, which keeps the beat but
// lights far less than a quarter of any part of the view.
void drawFlash(bool gentle, float z);
