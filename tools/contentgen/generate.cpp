#include "generate.h"

#include "music.h"
#include "pictures.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace contentgen {

std::vector<std::string> contentFileNames() {
    std::vector<std::string> names;
    for (const auto& p : pictureFiles()) {
        names.push_back(p.name);
    }
    names.emplace_back(musicFileName);
    return names;
}

std::vector<std::string> generateContent(const std::filesystem::path& packageDir, int threads) {
    std::error_code ec;
    std::filesystem::create_directories(packageDir / "data", ec);
    if (ec) {
        return {"cannot create " + (packageDir / "data").string() + ": " + ec.message()};
    }
    // The music is the longest job: it goes first, the pictures share the other workers.
    const auto& pictures = pictureFiles();
    const std::size_t jobs = pictures.size() + 1;
    std::atomic<std::size_t> nextJob{0};
    std::mutex errorsLock;
    std::vector<std::string> errors;
    auto worker = [&] {
        for (std::size_t job = nextJob++; job < jobs; job = nextJob++) {
            std::string error;
            if (job == 0) {
                const music::Track track = music::synthesize();
                error = music::encodeOggVorbis(track.samples, music::sampleRate,
                                               (packageDir / musicFileName).string());
            } else {
                error = writePicture(pictures[job - 1], packageDir);
            }
            if (!error.empty()) {
                const std::lock_guard<std::mutex> lock(errorsLock);
                errors.push_back(std::move(error));
            }
        }
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) {
        pool.emplace_back(worker);
    }
    worker();
    for (auto& t : pool) {
        t.join();
    }
    return errors;
}

} // namespace contentgen
