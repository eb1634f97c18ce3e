#include "tools/democap/frame_sinks.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tools/democap/capture_plan.h"
#include "tools/democap/png_file.h"

extern char** environ;

namespace democap {

namespace {

// Compression is the slow part of a PNG: one worker per spare core, and a
// buffer more than workers so the renderer never waits on a free one.
int workerCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores <= 2 ? 1 : static_cast<int>(std::min(cores - 1, 4u));
}

} // namespace

PngSink::PngSink(std::string folder, int width, int height)
    : folder_(std::move(folder)), width_(width), height_(height) {
    const int workers = workerCount();
    for (int i = 0; i < workers + 2; ++i) {
        free_.push_back(&buffers_.emplace_back());
    }
    for (int i = 0; i < workers; ++i) {
        workers_.emplace_back([this] { work(); });
    }
}

PngSink::~PngSink() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

std::vector<uint8_t>* PngSink::acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty() || !error_.empty(); });
    if (!error_.empty()) {
        return nullptr;
    }
    std::vector<uint8_t>* rows = free_.back();
    free_.pop_back();
    return rows;
}

void PngSink::submit(std::vector<uint8_t>* rows, int32_t frame) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Job{rows, frame});
    }
    changed_.notify_all();
}

void PngSink::work() {
    std::vector<uint8_t> scratch;
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            return; // stopping, nothing left
        }
        const Job job = queue_.front();
        queue_.pop_front();
        ++busy_;
        lock.unlock();
        std::string error;
        const std::string path = folder_ + "/" + frameFileName(job.frame);
        const bool saved =
            job.rows->size() == static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3 &&
            writePng(path, job.rows->data(), width_, height_, scratch, error);
        lock.lock();
        --busy_;
        if (!saved && error_.empty()) {
            error_ = error.empty() ? "no picture for " + path : error;
        }
        free_.push_back(job.rows);
        changed_.notify_all();
    }
}

bool PngSink::finish(std::string& error) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && busy_ == 0; });
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
