#include "tools/democap/frame_sinks.h"

#include <FreeImage.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/democap/capture_plan.h"

extern char** environ;

namespace democap {

namespace {
// Enough to keep the renderer busy while one picture is compressed.
constexpr int kPngBuffers = 3;
} // namespace

PngSink::PngSink(std::string folder, int width, int height) : folder_(std::move(folder)) {
    for (int i = 0; i < kPngBuffers; ++i) {
        FIBITMAP* bitmap = FreeImage_Allocate(width, height, 24);
        if (bitmap != nullptr) {
            all_.push_back(bitmap);
            free_.push_back(bitmap);
        }
    }
    if (all_.empty()) {
        error_ = "out of memory for a " + std::to_string(width) + "x" + std::to_string(height) +
                 " picture";
    }
    worker_ = std::thread([this] { work(); });
}

PngSink::~PngSink() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
    for (FIBITMAP* bitmap : all_) {
        FreeImage_Unload(bitmap);
    }
}

FIBITMAP* PngSink::acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty() || !error_.empty(); });
    if (!error_.empty()) {
        return nullptr;
    }
    FIBITMAP* bitmap = free_.back();
    free_.pop_back();
    return bitmap;
}

void PngSink::submit(FIBITMAP* bitmap, int32_t frame) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Job{bitmap, frame});
    }
    changed_.notify_all();
}

void PngSink::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return; // stopping, nothing left
        }
        const Job job = queue_.front();
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        const std::string path = folder_ + "/" + frameFileName(job.frame);
        const bool saved = FreeImage_Save(FIF_PNG, job.bitmap, path.c_str(), PNG_Z_BEST_SPEED);
        lock.lock();
        busy_ = false;
        if (!saved && error_.empty()) {
            error_ = "cannot write " + path;
        }
        free_.push_back(job.bitmap);
        changed_.notify_all();
    }
}

bool PngSink::finish(std::string& error) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
    if (!error_.empty()) {
        error = error_;
        return false;
    }
    return true;
}

VideoPipe::~VideoPipe() {
    std::string ignored;
    finish(ignored);
}

bool VideoPipe::start(const std::vector<std::string>& args, std::string& error) {
    // A dead encoder must show up as a write error, not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        pid_ = -1;
        error = "cannot start " + args[0] + ": " + std::strerror(rc);
        return false;
    }
    fd_ = fds[1];
    return true;
}

bool VideoPipe::write(const uint8_t* data, size_t size, std::string& error) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno == EPIPE ? std::string("ffmpeg stopped reading")
                                   : std::string("cannot write to ffmpeg: ") + std::strerror(errno);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool VideoPipe::finish(std::string& error) {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (pid_ < 0) {
        return true;
    }
    int status = 0;
    pid_t got;
    do {
        got = waitpid(pid_, &status, 0);
    } while (got < 0 && errno == EINTR);
    pid_ = -1;
    if (got < 0) {
        error = std::string("cannot wait for ffmpeg: ") + std::strerror(errno);
        return false;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return true;
    }
    error = WIFEXITED(status) ? "ffmpeg failed with status " + std::to_string(WEXITSTATUS(status))
                              : "ffmpeg was ended by signal " + std::to_string(WTERMSIG(status));
    return false;
}

bool makeFolders(const std::string& path, std::string& error) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') {
            continue;
        }
        const std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            error = "cannot make folder " + part + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = path + " is not a folder";
        return false;
    }
    return true;
}

} // namespace democap
