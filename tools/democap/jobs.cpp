#include "tools/democap/jobs.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <map>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace democap {

int threadsPerJob(const char* setting, int cores, int jobs) {
    int threads = std::max(cores, 1);
    if (setting != nullptr && std::atoi(setting) > 0) {
        threads = std::atoi(setting);
    }
    return std::max(1, threads / std::max(jobs, 1));
}

namespace {

// Everything but stdio and the job's own pipe: a job holding a copy of
// ffmpeg's pipe, or of another job's, would keep it from ever ending.
void closeInheritedFiles(int keep) {
    if (keep < 0) {
        syscall(SYS_close_range, 3u, ~0u, 0u);
        return;
    }
    if (keep > 3) {
        syscall(SYS_close_range, 3u, static_cast<unsigned>(keep - 1), 0u);
    }
    syscall(SYS_close_range, static_cast<unsigned>(keep + 1), ~0u, 0u);
}

// A job as this process sees it.
struct Job {
    pid_t pid = -1;
    int fd = -1; // the read end of its video pipe, while open
    bool ended = false;
    int status = 0;
    // The chunk coming in: its header, then its frames.
    ChunkHeader header{};
    size_t headerFilled = 0;
    std::vector<uint8_t> frames;
    size_t framesFilled = 0;
    bool waiting = false; // a whole chunk of it waits to be written
};

std::string statusText(int status) {
    if (WIFEXITED(status)) {
        return "status " + std::to_string(WEXITSTATUS(status));
    }
    return "signal " + std::to_string(WTERMSIG(status));
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class JobRunner {
  public:
    JobRunner(const Options& options, const VideoWriter* video)
        : options_(options), plan_(options), chunks_(options, gridSlotsPerChunk(options)),
          video_(video), frameBytes_(static_cast<size_t>(options.width) *
                                     static_cast<size_t>(options.height) * 3) {}

    int run(int count, const JobBody& body, std::string& error) {
        void* shared = mmap(nullptr, sizeof(JobBoard), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared == MAP_FAILED) {
            error = std::string("cannot share the job board: ") + std::strerror(errno);
            return 1;
        }
        board_ = new (shared) JobBoard;
        const int status = start(count, body, error) ? watch(error) : 1;
        stopAll();
        board_->~JobBoard();
        munmap(shared, sizeof(JobBoard));
        return status;
    }

  private:
    bool start(int count, const JobBody& body, std::string& error) {
        const int cores = static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
        const std::string threads =
            std::to_string(threadsPerJob(std::getenv("LP_NUM_THREADS"), cores, count));
        std::fflush(stdout);
        std::fflush(stderr);
        const pid_t parent = getpid();
        for (int index = 0; index < count; ++index) {
            int fds[2] = {-1, -1};
            if (video_ != nullptr && pipe2(fds, O_CLOEXEC) != 0) {
                error = std::string("cannot make a pipe: ") + std::strerror(errno);
                return false;
            }
            const pid_t pid = fork();
            if (pid < 0) {
                error = std::string("cannot start a job: ") + std::strerror(errno);
                return false;
            }
            if (pid == 0) {
                // Ended with the capture, even where only it was stopped.
                prctl(PR_SET_PDEATHSIG, SIGTERM);
                if (getppid() != parent) {
                    _exit(1);
                }
                closeInheritedFiles(fds[1]);
                setenv("LP_NUM_THREADS", threads.c_str(), 1);
                const JobLink link{index, count, board_, fds[1]};
                const int status = body(link);
                std::fflush(stderr);
                _exit(status);
            }
            Job& job = jobs_.emplace_back();
            job.pid = pid;
            if (fds[1] >= 0) {
                close(fds[1]);
                job.fd = fds[0];
            }
        }
        return true;
    }

    int watch(std::string& error) {
        const int32_t total = options_.frames.last - options_.frames.first + 1;
        ProgressMeter progress(total, isatty(STDERR_FILENO) != 0, 0.25, 0);
        const auto began = std::chrono::steady_clock::now();
        int32_t shown = 0;
        while (true) {
            if (!readVideo(error) || !reap(error)) {
                return 1;
            }
            const int32_t done = std::min(board_->framesDone.load(), total);
            if (done > shown) {
                shown = done;
                const int32_t frame = options_.frames.first + done - 1;
                if (auto text = progress.update(done, frame, secondsSince(began))) {
                    std::fputs(text->c_str(), stderr);
                }
            }
            const bool anyLeft = std::any_of(jobs_.begin(), jobs_.end(),
                                             [](const Job& j) { return !j.ended || j.fd >= 0; });
            if (!anyLeft) {
                break;
            }
        }
        std::fputs(
            progress.finish(shown, options_.frames.first + shown - 1, secondsSince(began)).c_str(),
            stderr);
        if (video_ != nullptr && nextToWrite_ != chunks_.count()) {
            error = "the jobs ended with " + std::to_string(chunks_.count() - nextToWrite_) +
                    " chunks of the video not sent";
            return 1;
        }
        return 0;
    }

    // Reads what the jobs have sent, for up to a quarter of a second, and
    // writes whatever chunks are next in order. A job with a whole chunk
    // waiting is not read on until that chunk is written: then the chunks
    // held here stay few, and the one needed next is never held up.
    bool readVideo(std::string& error) {
        std::vector<pollfd> polls;
        std::vector<Job*> polled;
        for (Job& job : jobs_) {
            if (job.fd >= 0 && !job.waiting) {
                polls.push_back({job.fd, POLLIN, 0});
                polled.push_back(&job);
            }
        }
        if (polls.empty()) {
            usleep(20000);
            return true;
        }
        if (poll(polls.data(), polls.size(), 250) < 0 && errno != EINTR) {
            error = std::string("cannot wait for the jobs: ") + std::strerror(errno);
            return false;
        }
        for (size_t i = 0; i < polls.size(); ++i) {
            if ((polls[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
                !readFrom(*polled[i], error)) {
                return false;
            }
        }
        while (ready_.count(nextToWrite_) != 0) {
            Job& job = *ready_[nextToWrite_];
            if (!(*video_)(job.frames.data(), job.frames.size(), error)) {
                return false;
            }
            job.waiting = false;
            job.headerFilled = 0;
            job.framesFilled = 0;
            ready_.erase(nextToWrite_++);
        }
        return true;
    }

    bool readFrom(Job& job, std::string& error) {
        uint8_t* into;
        size_t wanted;
        if (job.headerFilled < sizeof job.header) {
            into = reinterpret_cast<uint8_t*>(&job.header) + job.headerFilled;
            wanted = sizeof job.header - job.headerFilled;
        } else {
            into = job.frames.data() + job.framesFilled;
            wanted = job.frames.size() - job.framesFilled;
        }
        const ssize_t n = read(job.fd, into, wanted);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                return true;
            }
            error = std::string("cannot read from a job: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) {
            close(job.fd);
            job.fd = -1;
            if (job.headerFilled > 0) {
                error = "a job stopped in the middle of a chunk";
                return false;
            }
            return true;
        }
        if (job.headerFilled < sizeof job.header) {
            job.headerFilled += static_cast<size_t>(n);
            if (job.headerFilled == sizeof job.header) {
                const ChunkHeader& h = job.header;
                if (h.chunk < 0 || h.chunk >= chunks_.count() || ready_.count(h.chunk) != 0 ||
                    h.frames != plan_.gridCountIn(chunks_.chunk(h.chunk).first,
                                                  chunks_.chunk(h.chunk).last)) {
                    error = "a job sent a chunk that is not in the plan";
                    return false;
                }
                job.frames.resize(static_cast<size_t>(h.frames) * frameBytes_);
            }
        } else {
            job.framesFilled += static_cast<size_t>(n);
        }
        if (job.headerFilled == sizeof job.header && job.framesFilled == job.frames.size()) {
            job.waiting = true;
            ready_[job.header.chunk] = &job;
        }
        return true;
    }

    // Notes the jobs that ended; false (with error) at the first that failed.
    bool reap(std::string& error) {
        for (size_t i = 0; i < jobs_.size(); ++i) {
            Job& job = jobs_[i];
            if (job.ended) {
                continue;
            }
            int status = 0;
            const pid_t got = waitpid(job.pid, &status, WNOHANG);
            if (got != job.pid) {
                continue;
            }
            job.ended = true;
            job.status = status;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                error = "job " + std::to_string(i + 1) + " of " + std::to_string(jobs_.size()) +
                        " failed (" + statusText(status) + ")";
                return false;
            }
        }
        return true;
    }

    void stopAll() {
        for (Job& job : jobs_) {
            if (!job.ended) {
                kill(job.pid, SIGTERM);
            }
        }
        for (Job& job : jobs_) {
            if (job.fd >= 0) {
                close(job.fd);
                job.fd = -1;
            }
            if (!job.ended) {
                waitpid(job.pid, &job.status, 0);
                job.ended = true;
            }
        }
    }

    const Options& options_;
    const FramePlan plan_;
    const ChunkPlan chunks_;
    const VideoWriter* video_;
    const size_t frameBytes_;
    JobBoard* board_ = nullptr;
    std::vector<Job> jobs_;
    std::map<int32_t, Job*> ready_; // whole chunks by number, not yet written
    int32_t nextToWrite_ = 0;
};

} // namespace

int runJobs(const Options& options, int jobs, const JobBody& job, const VideoWriter* video,
            std::string& error) {
    JobRunner runner(options, video);
    return runner.run(jobs, job, error);
}

} // namespace democap
