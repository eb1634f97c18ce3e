#include <GL/gl.h>
#include <cmath>

#include "demo/assets/manifest.h"
#include "demo/scenes/scenes.h"
#include "demo/timeline/cues.h"
#include "demo/timeline/demo_state.h"

namespace {

constexpr int kTrailCount = 40;
constexpr int kTrailPoints = 15;
// Local time counts from the strobe scene's start.
constexpr int32_t kTrailTimeBase = scheduleRowOf(SceneId::HardFlash).first;
// Turns a generator value (0 to 32767) into 0 .. ~1.024.
constexpr float kRandomScale = 0.00003125f;
constexpr float kCurveStep = 0.16754757226666667f;
constexpr float kPhaseStep = 0.2f;
constexpr float kSparkFinalHalfSize = 0.25f;
constexpr float kSparkShrink = 0.001f;

// The one shape every trail shares, a Lissajous-like arc in the model's xy plane.
float curveX(float a) {
    return std::cos(0.32f * a) + std::sin(a) + 0.3f;
}
float curveY(float a) {
    return std::cos(a) - std::sin(0.22f * a) + 0.1f;
}

} // namespace

void drawLightTrails(DemoState& state, bool skipDraw) {
    // The curve creeps with timeline frames, so it advances on catch-up steps too.
    state.trailPhase += kPhaseStep;
    if (skipDraw) {
        return;
    }

    glEnable(GL_BLEND);
    const int32_t t = state.frameCounter - kTrailTimeBase;
    // Same seed every drawn frame: the trails keep their shapes and colours,
    // only the frame-driven rotations and the phase move them.
    state.random.seed(1);

    const float ft = static_cast<float>(t);
    glTranslatef(0.0f, 0.0f, -5.0f);
    glRotatef(ft, 1.0f, 0.0f, 0.0f);
    glRotatef(ft, 0.0f, 1.0f, 0.0f);
    glRotatef(2.0f * ft, 0.0f, 0.0f, 1.0f);

    // Shorter strips before local frame 100, full length from then on.
    const float stepScale = t < 100 ? ft * 0.01f : 1.0f;
    const float step = stepScale * kCurveStep;

    for (int trail = 0; trail < kTrailCount; ++trail) {
        glPushMatrix();

        const int r1 = state.random.next();
        const int r2 = state.random.next();
        glTranslatef(static_cast<float>(r2) * kRandomScale - 0.5f,
                     static_cast<float>(r1) * kRandomScale - 0.5f, 0.0f);

        const int r3 = state.random.next();
        const int r4 = state.random.next();
        const int r5 = state.random.next();
        glScalef(static_cast<float>(r5) * kRandomScale + 1.0f,
                 static_cast<float>(r4) * kRandomScale + 1.0f,
                 static_cast<float>(r3) * kRandomScale + 1.0f);

        const int r6 = state.random.next();
        const int r7 = state.random.next();
        const int r8 = state.random.next();
        const int r9 = state.random.next();
        glRotatef(static_cast<float>(r9) * 0.01f, static_cast<float>(r8) * kRandomScale,
                  static_cast<float>(r7) * kRandomScale, static_cast<float>(r6) * kRandomScale);

        // Integer product first (it fits: 32767 x 1584), then scaled as a float.
        const int r10 = state.random.next();
        glRotatef(static_cast<float>(r10 * t) * kRandomScale, 0.0f, 0.0f, -1.0f);

        const float cR = static_cast<float>(state.random.next()) * kRandomScale;
        const float cG = static_cast<float>(state.random.next()) * kRandomScale;
        const float cB = static_cast<float>(state.random.next()) * kRandomScale;

        glLineWidth(3.0f);
        glBegin(GL_LINE_STRIP);
        float a = state.trailPhase;
        for (int i = 0; i < kTrailPoints; ++i) {
            const float fade = static_cast<float>(i) * 0.05f;
            glColor3f(cR * fade, cG * fade, cB * fade);
            glVertex2f(curveX(a), curveY(a));
            a += step;
        }
        glEnd();
        // The spark sits one step past the head, in the head's colour.
        drawSparkBillboard(state, curveX(a), curveY(a));

        glPopMatrix();
    }

    glDisable(GL_BLEND);
}

void drawSparkBillboard(DemoState& state, float x, float y) {
    if (state.sparkHalfSize > kSparkFinalHalfSize) {
        state.sparkHalfSize -= kSparkShrink;
    }
    const float s = state.sparkHalfSize;

    glBindTexture(GL_TEXTURE_2D, state.textures[kSpotSlot]);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_ONE, GL_ONE);

    // The matrix rows are the camera's axes in model space, so the quad
    // faces the viewer whatever rotations are in force.
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const float rx = m[0], ry = m[4], rz = m[8];
    const float ux = m[1], uy = m[5], uz = m[9];

    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(x + s * (-rx - ux), y + s * (-ry - uy), s * (-rz - uz));
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(x + s * (rx - ux), y + s * (ry - uy), s * (rz - uz));
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(x + s * (rx + ux), y + s * (ry + uy), s * (rz + uz));
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(x + s * (ux - rx), y + s * (uy - ry), s * (uz - rz));
    glEnd();

    glDisable(GL_TEXTURE_2D);
}
