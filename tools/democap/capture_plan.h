#pragma once
// democap's command line and frame bookkeeping. No platform and no GL here, so all
// of it can be tested without a context.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "demo/timeline/cues.h"

namespace democap {

constexpr int kMaxSide = 16384;
constexpr int kMostJobs = 64;
// Each job holds its own GL context and textures (some 100 MB).
constexpr int kDefaultMostJobs = 8;

// Inclusive at both ends.
struct FrameRange {
    int32_t first = 0;
    int32_t last = 0;
    bool operator==(const FrameRange&) const = default;
};

enum class OutputKind { PngFolder, Video, None }; // None: a flash report alone

struct Options {
    std::string packageDir = ".";
    int width = 640;
    int height = 480;
    bool stretch = false; // fill a frame that is not 4:3 instead of bars
    bool gentle = false;  // the gentle show: no white frames
    int samples = 1;      // per pixel: 1, 2, 4 or 8
    FrameRange frames{0, kLastShownFrame};
    int every = 1;
    std::vector<FrameRange> skip; // sorted, overlaps and neighbours merged
    std::string out;              // may be empty with a flash report
    OutputKind outputKind = OutputKind::PngFolder;
    std::string flashReport; // the frames' flashing measured, as text
    std::string flashPlot;   // and as a picture (PNG)
    int jobs = 0;            // processes sharing the range out; 0: the default
};

struct ParseResult {
    enum class Status { Run, Help, Error };
    Status status = Status::Error;
    Options options;
    std::string error; // set when status is Error
};

// args excludes the program name. Accepts "--opt value" and "--opt=value".
ParseResult parseArguments(const std::vector<std::string>& args);
std::string usageText();

// "650-700,2950": ranges and single frames within 0 to kLastShownFrame.
// Returns the merged, sorted list, or nothing with error set.
std::optional<std::vector<FrameRange>> parseFrameList(const std::string& text, std::string& error);

// Where the show is drawn in the frame: the whole frame when it is 4:3 or
// stretched, otherwise the largest 4:3 area that fits, centred between black
// bars. In pixels, from the bottom left, as GL counts.
struct ShowArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ShowArea&) const = default;
};
ShowArea showArea(const Options& options);

// "720p" and the like, as WxH; nothing for any other name.
std::optional<std::pair<int, int>> namedSize(const std::string& name);

// Video when the name ends in .mp4, .mkv or .webm (any case), else a folder.
OutputKind outputKindOf(const std::string& path);

// Which frames are run, drawn and written.
class FramePlan {
  public:
    explicit FramePlan(const Options& options);

    // The run stops after this frame, unless it is the show's last shown
    // frame: then the call for kLastFrame follows and ends the show.
    int32_t lastFrameToRun() const { return range_.last; }
    bool runsToShowEnd() const { return range_.last == kLastShownFrame; }

    // Run as a catch-up step (skipDraw) instead of drawn.
    bool skipped(int32_t frame) const;
    // One of A, A+K, ... up to B: a slot of the output, picture or not.
    bool onGrid(int32_t frame) const;
    // On the grid and drawn: a picture is read back and written.
    bool kept(int32_t frame) const { return onGrid(frame) && !skipped(frame); }

    int32_t gridCount() const;
    int32_t keptCount() const;
    // Grid slots from `from` to `to`, both included.
    int32_t gridCountIn(int32_t from, int32_t to) const;
    // The last kept frame of the range before `frame`, or -1: the picture a
    // video repeats on skipped frames at `frame`.
    int32_t lastKeptBefore(int32_t frame) const;
    // Frames run, 0 to B, for the progress line (the ending call not counted).
    int32_t framesToRun() const { return range_.last + 1; }

  private:
    FrameRange range_;
    int every_;
    std::vector<FrameRange> skip_;
};

// How --jobs shares the range out: in chunks, each taken by whichever job is
// free next, in order, so the jobs stay even where frames cost unevenly and
// every job only ever runs forward. A chunk starts on the grid.
class ChunkPlan {
  public:
    ChunkPlan(const Options& options, int32_t gridSlotsPerChunk);
    int32_t count() const { return count_; }
    FrameRange chunk(int32_t index) const;

  private:
    FrameRange range_;
    int32_t length_; // frames per chunk, a multiple of --every
    int32_t count_;
};

// Grid slots per chunk: a second of the show, fewer for a video of large
// frames, whose chunks wait in memory to go to ffmpeg in order.
int32_t gridSlotsPerChunk(const Options& options);

// How many jobs a capture runs: --jobs, or the default for `cores`, never
// more than there are chunks; 1 where the frames must be seen in order.
int jobCount(const Options& options, int cores);

// "frame_00042.png"
std::string frameFileName(int32_t frame);

// The ffmpeg command line (program name first) that reads raw RGB rows,
// bottom row first, from its standard input. musicPath empty: video only.
// Where an output is written until it is whole (a video; each PNG): the
// final name with ".part", renamed to it at the end, removed on failure.
std::string partialName(const std::string& out);
std::vector<std::string> ffmpegArguments(const Options& options, const std::string& musicPath);

// Where the program name is found on a PATH-style list, or nothing.
std::optional<std::string> findExecutable(const std::string& name, const char* pathList);

// The progress line: in place on a terminal (at most every
// minIntervalSeconds), otherwise one plain line per 5 percent. The run-up
// to the first frame written (frames run but not read, far cheaper) and the
// written range each get their own rate and time left.
class ProgressMeter {
  public:
    ProgressMeter(int32_t total, bool terminal, double minIntervalSeconds = 0.25,
                  int32_t firstWritten = 0);
    // After each frame run: done frames so far. The text to write to
    // stderr, or nothing.
    std::optional<std::string> update(int32_t done, int32_t frame, double elapsedSeconds);
    // The closing text (ends the in-place line on a terminal).
    std::string finish(int32_t done, int32_t frame, double elapsedSeconds);

  private:
    // The part a frame belongs to: the run-up or the written range.
    struct Phase {
        int32_t done;
        int32_t total;
        double seconds;
        bool runUp;
    };
    Phase phase(int32_t done, int32_t frame, double elapsedSeconds);
    std::string line(const Phase& phase, int32_t frame) const;
    static int stepOf(const Phase& phase);
    int32_t total_;
    int32_t firstWritten_;
    bool terminal_;
    double minInterval_;
    double rangeStart_ = -1.0; // elapsed seconds when the range's first frame began
    double lastElapsed_ = 0.0;
    double lastShown_ = -1.0;
    int lastStep_ = -1; // last 5 percent step printed
    bool lastStepRunUp_ = false;
    bool anyShown_ = false;
};

} // namespace democap
