#include "demo/timeline/demo_state.h"

#include <GL/glu.h>

DemoState::DemoState()
    : tileLists{ItemList(true), ItemList(true), ItemList(true), ItemList(true),
                ItemList(true), ItemList(true), ItemList(true), ItemList(true),
                ItemList(true), ItemList(true), ItemList(true), ItemList(true),
                ItemList(true), ItemList(true), ItemList(true), ItemList(true)} {}

DemoState::~DemoState() {
    // Quadrics are plain client memory; freeing them needs no GL context.
    if (craftQuadric != nullptr) {
        gluDeleteQuadric(craftQuadric);
    }
    if (towerQuadric != nullptr) {
        gluDeleteQuadric(towerQuadric);
    }
}
