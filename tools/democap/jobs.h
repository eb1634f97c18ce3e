#pragma once
// democap --jobs: the range shared out among processes, each with its own
// context and its own run-up, taking chunks in order as it comes free. PNGs
// are written by the jobs themselves; a video's frames come back to this
// process over a pipe each and go to one ffmpeg in order, so the stream, and
// the file, are the ones a single job makes. No GL here.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/democap/capture_plan.h"

namespace democap {

// Shared by all the jobs of one capture (a shared mapping, made before they
// start).
struct JobBoard {
    std::atomic<int32_t> nextChunk{0};
    std::atomic<int32_t> framesDone{0}; // frames of the range run, all jobs
};
static_assert(std::atomic<int32_t>::is_always_lock_free, "the board is shared between processes");

// A job's place in the capture.
struct JobLink {
    int index = 0;
    int count = 1;
    JobBoard* board = nullptr; // null: the only job, on the whole range
    int videoFd = -1;          // a video's chunks go here, each after its header (the
                               // job's to close)
};

// Ahead of each chunk's frames on a job's video pipe.
struct ChunkHeader {
    int32_t chunk;
    int32_t frames;
};

// LP_NUM_THREADS for one of `jobs` jobs: llvmpipe's threads (its own
// setting, or one per core) shared out, at least one each.
int threadsPerJob(const char* setting, int cores, int jobs);

// Runs `jobs` processes, each calling job(link) and ending with its result
// as its status, with the progress of all of them on stderr. Where `video`
// is given, the chunks the jobs send are written to it in order. 0 when
// every job ended with 0; otherwise the others are stopped and error says
// which failed.
using JobBody = std::function<int(const JobLink&)>;
using VideoWriter = std::function<bool(const uint8_t* data, size_t size, std::string& error)>;
int runJobs(const Options& options, int jobs, const JobBody& job, const VideoWriter* video,
            std::string& error);

} // namespace democap
