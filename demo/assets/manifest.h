#pragma once
// The show's files and texture slots by name, read from manifest.def.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Texture slots by what they hold. A slot named ...FlipSlot is the other
// drawing of the slot before it: the flip selectors switch between the two.
enum ShowSlot : int {
#define SHOW_PICTURE(slot, name, file) name = (slot),
#define SHOW_COMPUTED(slot, name) name = (slot),
#define SHOW_GREETINGS(first, count, pattern)                                                      \
    kFirstGreetingSlot = (first), kGreetingCount = (count),
#include "demo/assets/manifest.def"
};

// The first slot of each picture pair the flip selectors switch, in
// selector order; the selectors start on these.
inline constexpr int32_t kFlipPairFirstSlots[5] = {kPortraitSlot, kTiesSlot, kSlideInSlot,
                                                   kFlashTopSlot, kBobbingSlot};

#define SHOW_MUSIC(name, file) inline constexpr const char* name = file;
#define LAUNCHER_PICTURE(file) inline constexpr const char* kLauncherPicture = file;
#define SHOW_GREETINGS(first, count, pattern)                                                      \
    inline constexpr const char* kGreetingPattern = pattern;
#include "demo/assets/manifest.def"

// The rate the music is made at and the sound device opens at.
inline constexpr int kMusicRate = 32000;

// The file loaded into slot, relative to the working directory; null for
// the computed slot, the greetings and any slot nothing is loaded into.
inline const char* manifestFile(int slot) {
#define SHOW_PICTURE(index, name, file)                                                            \
    if (slot == (index)) {                                                                         \
        return file;                                                                               \
    }
#include "demo/assets/manifest.def"
    return nullptr;
}

// Greeting number 1 to kGreetingCount: its file, from kGreetingPattern.
inline std::string greetingFile(int number) {
    char name[64];
    std::snprintf(name, sizeof name, kGreetingPattern, number);
    return name;
}

// Every picture of the show's data folder: the slots' files, then the
// greetings.
inline std::vector<std::string> showPictureFiles() {
    std::vector<std::string> files;
#define SHOW_PICTURE(slot, name, file) files.emplace_back(file);
#include "demo/assets/manifest.def"
    for (int i = 1; i <= kGreetingCount; ++i) {
        files.push_back(greetingFile(i));
    }
    return files;
}
