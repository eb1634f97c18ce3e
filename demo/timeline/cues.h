#pragma once
// The show's cues, in timeline frames of 20 ms: which scene plays when, and
// the frames on which pictures change. The only copy: the timeline, the
// scenes, the music generator, democap and the tests read them from here.
#include <climits>
#include <cstdint>

#include "demo/assets/manifest.h"

enum class SceneId {
    None,
    SpinningRecord,
    HallPortraits,
    SurpriseCard,
    PhoneShake,
    PhoneRise,
    Ties,
    HardFlash,
    Craft,
    GridCredits,
    TileBurst,
    QuadricTower,
    ClosingPictures,
};

struct ScheduleRow {
    int32_t first;
    int32_t last; // inclusive
    SceneId scene;
};

// The show's clock: 50 frames a second, 20 ms each, and the music's samples
// in each (640 at kMusicRate).
inline constexpr int kFramesPerSecond = 50;
inline constexpr double kFrameMs = 1000.0 / kFramesPerSecond;
inline constexpr int kSamplesPerFrame = kMusicRate / kFramesPerSecond;

// The whole choreography. Frame 6395 belongs to no row and stays black, as
// do 3081 to 3217 and 3948 to 4003.
inline constexpr ScheduleRow kSchedule[] = {
    {0, 603, SceneId::SpinningRecord},   {604, 1689, SceneId::HallPortraits},
    {1690, 1719, SceneId::SurpriseCard}, {1720, 1789, SceneId::PhoneShake},
    {1790, 1987, SceneId::PhoneRise},    {1988, 3080, SceneId::Ties},
    {3218, 3947, SceneId::HardFlash},    {4004, 4802, SceneId::Craft},
    {4803, 5560, SceneId::GridCredits},  {5561, 6394, SceneId::TileBurst},
    {6396, 7125, SceneId::QuadricTower}, {7126, INT32_MAX, SceneId::ClosingPictures},
};

// The scene's name in reports (benchmarks, democap's flash report).
constexpr const char* sceneName(SceneId scene) {
    switch (scene) {
    case SceneId::None:
        return "(black)";
    case SceneId::SpinningRecord:
        return "SpinningRecord";
    case SceneId::HallPortraits:
        return "HallPortraits";
    case SceneId::SurpriseCard:
        return "SurpriseCard";
    case SceneId::PhoneShake:
        return "PhoneShake";
    case SceneId::PhoneRise:
        return "PhoneRise";
    case SceneId::Ties:
        return "Ties";
    case SceneId::HardFlash:
        return "HardFlash";
    case SceneId::Craft:
        return "Craft";
    case SceneId::GridCredits:
        return "GridCredits";
    case SceneId::TileBurst:
        return "TileBurst";
    case SceneId::QuadricTower:
        return "QuadricTower";
    case SceneId::ClosingPictures:
        return "ClosingPictures";
    }
    return "?";
}

// The frame whose call ends the show; the last frame shown is the one before.
inline constexpr int32_t kLastFrame = 7402;
inline constexpr int32_t kLastShownFrame = kLastFrame - 1;

constexpr const ScheduleRow& scheduleRowOf(SceneId scene) {
    for (const ScheduleRow& row : kSchedule) {
        if (row.scene == scene) {
            return row;
        }
    }
    return kSchedule[0]; // every scene but None has a row
}

// Frames on which all picture pairs flip, each list ended by -1: A inside
// the hall portraits, B inside the ties scene.
inline constexpr int32_t flipTriggersA[] = {620,  696,  725,  795,  824,  900,  926,  1001,
                                            1030, 1197, 1225, 1300, 1326, 1400, 1423, 1474,
                                            1488, 1500, 1526, 1578, 1590, 1627, -1};
inline constexpr int32_t flipTriggersB[] = {2014, 2030, 2097, 2121, 2196, 2222, 2295, 2310, 2322,
                                            2335, 2347, 2359, 2370, 2381, 2396, 2420, 2492, 2519,
                                            2590, 2617, 2666, 2681, 2691, 2716, 2766, 2777, 2787,
                                            2816, 2839, 2851, 2861, 2883, -1};

// The hard flash, the grid credits and the closing pictures show a white
// frame, and the hard flash flips its pictures, on every frame divisible by
// this.
inline constexpr int32_t kFlashEvery = 10;
constexpr bool isFlashFrame(int32_t frame) {
    return frame % kFlashEvery == 0;
}

// The record's bursts the other way in the opening: it turns +5 degrees on
// each frame of a burst, first to last inclusive.
struct FrameSpan {
    int32_t first;
    int32_t last;
};
inline constexpr FrameSpan kRecordBursts[] = {
    {126, 134}, {139, 145}, {150, 156}, {161, 167}, {171, 178},
};

// The grid credits' pages: the page slot shown over a span of frames.
struct CreditPage {
    int32_t first;
    int32_t last; // inclusive
    int32_t slot;
};
inline constexpr CreditPage kCreditPages[] = {
    {4803, 4899, kCredits1Slot}, {4900, 4999, kCredits2Slot}, {5000, 5099, kCredits3Slot},
    {5100, 5199, kCredits4Slot}, {5200, 5299, kCredits5Slot}, {5300, 5399, kCredits6Slot},
};

// Picture changes of the closing scene on beats of the music's last bars,
// ended by frame -1.
struct ClosingCue {
    int32_t frame;
    int32_t slot;
};
inline constexpr ClosingCue kClosingCues[] = {
    {7192, kClosing2Slot},
    {7211, kClosing3Slot},
    {7229, kClosing4Slot},
    {7245, kClosing1Slot},
    {7263, kClosing2Slot},
    {7277, kClosing3Slot},
    {7292, kClosing4Slot},
    {7301, kClosing1Slot},
    {7311, kClosing2Slot},
    {7323, kClosing3Slot},
    {-1, 0},
};
