#include "demo/scenes/overlay.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "demo/scenes/random.h"
#include "tests/demo/scenes/scene_fixture.h"

namespace {

TEST(RandomGenerator, StartsAtOneAndFollowsTheRecurrence) {
    RandomGenerator rng;
    EXPECT_EQ(rng.state, 1u);
    // The well-known first draws of this recurrence from state 1.
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (int value : expected) {
        EXPECT_EQ(rng.next(), value);
    }
    rng.seed(1);
    EXPECT_EQ(rng.next(), 41);
    // The state wraps modulo 2^32 and the result keeps 15 bits.
    rng.seed(0xFFFFFFFFu);
    const int v = rng.next();
    EXPECT_EQ(rng.state, 0xFFFFFFFFu * 214013u + 2531011u);
    EXPECT_EQ(v, static_cast<int>((rng.state >> 16) & 0x7FFF));
    for (int i = 0; i < 1000; ++i) {
        const int r = rng.next();
        EXPECT_GE(r, 0);
        EXPECT_LE(r, 32767);
    }
}

class Overlay : public SceneTest {};

TEST_F(Overlay, MapsScreenUnitsAndRestoresTheMatrices) {
    GLint modelDepth = 0, projDepth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projDepth);
    GLfloat projBefore[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projBefore);

    // A translation already on the modelview stays in force: no identity load.
    glLoadIdentity();
    glTranslatef(320.0f, 0.0f, 0.0f);
    beginOverlay();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glColor3f(0.0f, 1.0f, 0.0f);
    glBegin(GL_QUADS);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(10.0f, 0.0f, 0.0f);
    glVertex3f(10.0f, 10.0f, 0.0f);
    glVertex3f(0.0f, 10.0f, 0.0f);
    glEnd();
    endOverlay();

    EXPECT_TRUE(near(gl.pixel(325, 5), Rgb{0, 255, 0}));
    EXPECT_TRUE(near(gl.pixel(5, 5), Rgb{0, 0, 0}));
    EXPECT_TRUE(near(gl.pixel(325, 12), Rgb{0, 0, 0}));

    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, modelDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, projDepth);
    GLfloat projAfter[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projAfter);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(projAfter[i], projBefore[i]);
    }
    GLfloat model[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, model);
    EXPECT_FLOAT_EQ(model[12], 320.0f); // the caller's translation is back
}

TEST_F(Overlay, ScreenQuadPutsThePicturesLowerEdgeAtTheBottom) {
    // Bottom texel row red, top row blue.
    const uint32_t tex = makeTexture(1, 2, {255, 0, 0, 255, 0, 0, 255, 255});
    glLoadIdentity();
    beginOverlay();
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, tex);
    drawScreenQuad(0.0f);
    glDisable(GL_TEXTURE_2D);
    endOverlay();
    EXPECT_TRUE(near(gl.pixel(0, 0), Rgb{255, 0, 0}));
    EXPECT_TRUE(near(gl.pixel(639, 100), Rgb{255, 0, 0}));
    EXPECT_TRUE(near(gl.pixel(0, 479), Rgb{0, 0, 255}));
    EXPECT_TRUE(near(gl.pixel(639, 380), Rgb{0, 0, 255}));
    GLint alphaBits = -1;
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    EXPECT_EQ(alphaBits, 0); // the blends of the scenes rely on it
}

} // namespace
