#pragma once
// GLU quadrics for the 3D scenes: one object per scene for the whole run,
// and shapes that are skipped (the transforms kept) when GLU could not
// allocate it.
#include <GL/glu.h>

// The quadric kept in `held`: made on first use with setUp applied, freed
// with the state, so nothing is allocated per frame. Null when GLU fails.
inline GLUquadric* quadricOnce(GLUquadric*& held, void (*setUp)(GLUquadric*)) {
    if (held == nullptr) {
        held = gluNewQuadric();
        if (held != nullptr) {
            setUp(held);
        }
    }
    return held;
}

inline void cylinder(GLUquadric* q, double base, double top, double height, int slices,
                     int stacks) {
    if (q != nullptr) {
        gluCylinder(q, base, top, height, slices, stacks);
    }
}

inline void disk(GLUquadric* q, double inner, double outer, int slices, int loops) {
    if (q != nullptr) {
        gluDisk(q, inner, outer, slices, loops);
    }
}
