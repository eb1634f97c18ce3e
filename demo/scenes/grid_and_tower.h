#pragma once

// Alpha of the grid post at (a, b) on the floor plan: brightest near the view
// axis, fading to nothing at |a| + |b| of 120 (0 or below draws nothing).
float gridPostAlpha(int a, int b);

// Credit page slot for frame, or current when the frame changes nothing.
int gridCreditSlot(int frame, int current);
