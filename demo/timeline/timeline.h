#pragma once
#include <cstdint>

#include "demo/timeline/cues.h"

struct DemoState;

enum class TimelineStep { Running, ShowEnded };

// One timeline frame: clear, run the scenes due at frameCounter, fire that
// frame's flips, advance. A catch-up step (skipDraw) runs on one pixel of
// the framebuffer and leaves the host's viewport and scissor as they were.
// ShowEnded means frame 7402 was reached and nothing more is drawn: the
// desktop ends the process there with status 0, democap and the page stop
// their loops.
TimelineStep runTimelineFrame(DemoState& state, bool skipDraw);

// The way to a later frame: every frame from frameCounter up to, not
// including, `frame`, drawn as in a show played from the start but on one
// pixel of the framebuffer (the host's viewport and scissor as they were
// afterwards), so that `frame` then comes out exactly as it would there.
// Scenes advance differently on catch-up steps, so a run-up of those would
// not. Resumable: a host that must hand back now and then runs up in parts.
// ShowEnded where the show's end came first.
TimelineStep runUpTo(DemoState& state, int32_t frame);

// The scene the schedule plays on frame (None between scenes).
SceneId sceneAt(int32_t frame);
