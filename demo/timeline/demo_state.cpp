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

ShowSnapshot takeSnapshot(DemoState& state) {
    ShowSnapshot snapshot{state, {}};
    for (ItemList& list : state.tileLists) {
        for (void* tile = list.first(); tile != nullptr; tile = list.next()) {
            snapshot.tiles.push_back(*static_cast<const Tile*>(tile));
        }
    }
    return snapshot;
}

void restoreSnapshot(DemoState& state, const ShowSnapshot& snapshot) {
    static_cast<ShowValues&>(state) = snapshot.values;
    size_t next = 0;
    for (ItemList& list : state.tileLists) {
        for (void* tile = list.first(); tile != nullptr && next < snapshot.tiles.size();
             tile = list.next()) {
            *static_cast<Tile*>(tile) = snapshot.tiles[next++];
        }
    }
}
