#pragma once
// Where democap's pictures go: PNG files written on a worker thread, or raw
// rows piped into an ffmpeg process. No platform and no GL here.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace democap {

// PNG files (writePng), compressed on worker threads while the next frames
// render.
class PngSink {
  public:
    PngSink(std::string folder, int width, int height);
    ~PngSink();
    PngSink(const PngSink&) = delete;
    PngSink& operator=(const PngSink&) = delete;

    // A buffer to fill with one frame (readFrameRows). Waits while every
    // buffer is still being saved. Null after a failed save.
    std::vector<uint8_t>* acquire();
    void submit(std::vector<uint8_t>* rows, int32_t frame);
    // Waits for every save; false (with error) if any failed.
    bool finish(std::string& error);

  private:
    struct Job {
        std::vector<uint8_t>* rows;
        int32_t frame;
    };
    void work();

    std::string folder_;
    int width_;
    int height_;
    std::deque<std::vector<uint8_t>> buffers_;
    std::vector<std::vector<uint8_t>*> free_;
    std::deque<Job> queue_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    int busy_ = 0;
    std::string error_;
    std::vector<std::thread> workers_;
};

// An ffmpeg child reading rawvideo on its standard input.
class VideoPipe {
  public:
    VideoPipe() = default;
    ~VideoPipe();
    VideoPipe(const VideoPipe&) = delete;
    VideoPipe& operator=(const VideoPipe&) = delete;

    bool start(const std::vector<std::string>& args, std::string& error);
    // Writes into fd instead (a pipe read by another process), and closes it.
    void adopt(int fd) { fd_ = fd; }
    pid_t child() const { return pid_; } // ffmpeg, once started
    bool write(const uint8_t* data, size_t size, std::string& error);
    // Closes the pipe and waits; false unless ffmpeg ended with status 0.
    bool finish(std::string& error);

  private:
    int fd_ = -1;
    pid_t pid_ = -1;
};

// Makes the folder and any missing parents.
bool makeFolders(const std::string& path, std::string& error);

} // namespace democap
