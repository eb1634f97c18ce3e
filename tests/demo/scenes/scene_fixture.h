#pragma once
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "demo/timeline/demo_state.h"
#include "demo/timeline/timeline.h"
#include "tests/support/gl_harness.h"

// Texels given bottom row first (t = 0), RGBA, nearest filtering so each
// texel shows as a sharp block.
inline uint32_t makeTexture(int width, int height, const std::vector<uint8_t>& rgba) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 rgba.data());
    return name;
}

// A picture whose left half is opaque in one colour and whose right half is
// fully transparent: a cut-out.
inline uint32_t leftHalfCutOut(uint8_t r, uint8_t g, uint8_t b) {
    return makeTexture(2, 1, {r, g, b, 255, 0, 0, 0, 0});
}

// Harness, fresh state and the GL state start-up hands to the timeline:
// texturing off, colour red (the last loading bar).
class SceneTest : public ::testing::Test {
  protected:
    explicit SceneTest(int width = 640, int height = 480) : gl(width, height) {}
    void SetUp() override {
        ASSERT_TRUE(gl.ok());
        gl.applyStartupState();
        glColor4f(1.0f, 0.0f, 0.0f, 1.0f);
        state = std::make_unique<DemoState>();
    }
    void setSolid(int slot, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
        state->textures[static_cast<size_t>(slot)] = GlHarness::solidTexture(r, g, b, a);
    }
    // One timeline call on the current frame.
    void step(bool skip) { ASSERT_EQ(runTimelineFrame(*state, skip), TimelineStep::Running); }
    // Timeline calls up to and including frame last.
    void runThrough(int32_t last, bool skip = false) {
        while (state->frameCounter <= last) {
            step(skip);
        }
    }

    GlHarness gl;
    std::unique_ptr<DemoState> state;
};
