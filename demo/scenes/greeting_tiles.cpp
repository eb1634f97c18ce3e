#include "demo/scenes/greeting_tiles.h"
#include "demo/assets/manifest.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "demo/scenes/overlay.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr int kFirstFrame = scheduleRowOf(SceneId::TileBurst).first; // local frame 1
constexpr float kDriftStep = 0.0033333334f; // velocity per unit of (rand % 10 - 5)
constexpr float kFlyStep = 2.9f;
constexpr float kFlyStop = 17.0f;
constexpr float kFadeStep = 0.06f;
constexpr float kGridStep = 0.1f;

void fillTile(Tile& tile, int column, int row, RandomGenerator& random) {
    const float x0 = static_cast<float>(column) * kGridStep;
    const float x1 = static_cast<float>(column + 1) * kGridStep;
    const float y0 = static_cast<float>(row) * kGridStep;
    const float y1 = static_cast<float>(row + 1) * kGridStep;
    const float xs[4] = {x0, x0, x1, x1};
    const float ys[4] = {y0, y1, y1, y0};
    for (int n = 0; n < 4; ++n) {
        tile.corners[n][0] = xs[n];
        tile.corners[n][1] = ys[n];
        tile.corners[n][2] = 0.0f;
        tile.texcoords[n][0] = xs[n];
        tile.texcoords[n][1] = ys[n];
    }
    tile.delay = static_cast<float>(random.next() % 50);
    for (float& v : tile.velocity) {
        v = static_cast<float>(random.next() % 10 - 5) * kDriftStep;
    }
    tile.alpha = 1.0f;
}

} // namespace

int tileStartFrame(int k) {
    // Truncated in double precision: picture 7 starts at 489, not 490.
    return static_cast<int>(static_cast<double>(100 * k) * 0.7);
}

int tileDriftFrame(int k) {
    return tileStartFrame(k) + 60;
}

void fillTileLists(DemoState& state, TileAllocator allocateTile) {
    for (int list = 0; list < kGreetingPictures; ++list) {
        for (int column = 0; column < kTilesPerSide; ++column) {
            for (int row = 0; row < kTilesPerSide; ++row) {
                auto* tile = static_cast<Tile*>(allocateTile(sizeof(Tile)));
                if (tile == nullptr) {
                    throw std::bad_alloc();
                }
                try {
                    state.tileLists[list].add(tile);
                } catch (...) {
                    std::free(tile); // not linked, so still ours
                    throw;
                }
                fillTile(*tile, column, row, state.random);
            }
        }
    }
    for (float& offset : state.tileOffsets) {
        offset = static_cast<float>(state.random.next() % 10) * kGridStep - 1.0f;
    }
}

void initTileLists(DemoState& state, TileAllocator allocateTile) {
    try {
        fillTileLists(state, allocateTile);
    } catch (const std::bad_alloc&) {
        // A half-built greeting scene would show holes; stop before the show.
        std::fputs("demo: out of memory while building the greeting tiles\n", stderr);
        std::exit(1);
    }
}

void initTileLists(DemoState& state) {
    initTileLists(state, std::malloc);
}

void drawTileBurstScene(DemoState& state, bool) {
    // Drawn and advanced on every call, catch-up steps included: the tiles'
    // flight is counted in timeline frames.
    const int lt = state.frameCounter - (kFirstFrame - 1);

    // The background takes whatever blending is current: off until the last
    // picture starts, then on from the hand-off below.
    beginOverlay();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, state.textures[kGreetingBackgroundSlot]);
    drawScreenQuad(0.0f);
    endOverlay();

    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor3f(1.0f, 1.0f, 1.0f);

    for (int k = 0; k < kGreetingPictures; ++k) {
        const int start = tileStartFrame(k);
        if (lt <= start) {
            continue;
        }
        const bool drifting = lt > tileDriftFrame(k);
        glPushMatrix();
        glLoadIdentity();
        glTranslatef(state.tileOffsets[2 * k], state.tileOffsets[2 * k + 1], -20.0f);
        glBindTexture(GL_TEXTURE_2D, state.textures[kFirstGreetingSlot + k]);
        glEnable(GL_TEXTURE_2D);
        glBegin(GL_QUADS);
        ItemList& tiles = state.tileLists[k];
        for (void* item = tiles.first(); item != nullptr; item = tiles.next()) {
            auto* tile = static_cast<Tile*>(item);
            for (int n = 0; n < 4; ++n) {
                float* corner = tile->corners[n];
                glColor4f(1.0f, 1.0f, 1.0f, tile->alpha);
                glTexCoord2f(tile->texcoords[n][0], tile->texcoords[n][1]);
                glVertex3f(corner[0], corner[1], corner[2]);
                // Moved after it is emitted: a frame shows the previous
                // frame's positions, and the corners fade one step apart.
                if (static_cast<float>(start) + tile->delay < static_cast<float>(lt) &&
                    corner[2] < kFlyStop) {
                    corner[2] += kFlyStep;
                }
                if (drifting) {
                    corner[0] += tile->velocity[0];
                    corner[1] += tile->velocity[1];
                    corner[2] += tile->velocity[2];
                    if (tile->alpha > 0.0f) {
                        tile->alpha -= kFadeStep;
                    }
                }
            }
        }
        glEnd();
        glPopMatrix();
    }

    // Once the last picture has started, blending stays on and the next
    // frames' background is drawn with it.
    if (lt <= tileStartFrame(kGreetingPictures - 1)) {
        glDisable(GL_BLEND);
    }
}
