// Starting video on a display people can see: the invisible fallbacks are
// refused, a display that is not there yet is waited for a moment.

#include "demo/desktop/visible_video.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

extern char** environ;

namespace {

// Sets or clears environment variables for one test and puts them back.
class Environment {
  public:
    void set(const char* name, const char* value) {
        remember(name);
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~Environment() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

  private:
    void remember(const char* name) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A display number nobody uses: high, and checked against the lock file.
std::string freeDisplay() {
    for (int number = 177; number < 277; ++number) {
        char lock[32];
        std::snprintf(lock, sizeof lock, "/tmp/.X%d-lock", number);
        if (access(lock, F_OK) != 0) {
            char name[16];
            std::snprintf(name, sizeof name, ":%d", number);
            return name;
        }
    }
    return ":299";
}

TEST(VisibleVideo, InvisibleDriversCountOnlyWhenAskedForByName) {
    Environment env;
    env.set("WAYLAND_DISPLAY", nullptr);
    env.set("DISPLAY", nullptr);
    env.set("SDL_VIDEODRIVER", "offscreen");
    visible_video::Start asked = visible_video::start(1, 0);
    EXPECT_TRUE(asked.ok) << asked.reason;
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "offscreen");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);

    env.set("SDL_VIDEODRIVER", nullptr);
    visible_video::Start fallback = visible_video::start(3, 0);
    EXPECT_FALSE(fallback.ok);
    EXPECT_EQ(fallback.reason, "no display (DISPLAY and WAYLAND_DISPLAY are unset)");
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "video left running after a failure";
}

TEST(VisibleVideo, AnUnreachableDisplayIsNamedAfterTheRetries) {
    Environment env;
    const std::string display = freeDisplay();
    env.set("WAYLAND_DISPLAY", nullptr);
    env.set("SDL_VIDEODRIVER", nullptr);
    env.set("DISPLAY", display.c_str());
    const auto began = std::chrono::steady_clock::now();
    visible_video::Start start = visible_video::start(4, 50);
    const auto waited = std::chrono::steady_clock::now() - began;
    EXPECT_FALSE(start.ok);
    EXPECT_NE(start.reason.find("cannot reach the display " + display), std::string::npos)
        << start.reason;
    EXPECT_GE(waited, std::chrono::milliseconds(150)) << "gave up without retrying";
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

TEST(VisibleVideo, ADisplayThatComesUpWhileRetryingIsUsed) {
    if (system("command -v Xvfb >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "Xvfb is not installed";
    }
    Environment env;
    const std::string display = freeDisplay();
    env.set("WAYLAND_DISPLAY", nullptr);
    env.set("SDL_VIDEODRIVER", nullptr);
    env.set("DISPLAY", display.c_str());

    pid_t server = 0;
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const char* argv[] = {"Xvfb", display.c_str(), "-nolisten", "tcp", nullptr};
        posix_spawnp(&server, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ);
    });
    visible_video::Start start = visible_video::start(100, 100);
    later.join();
    EXPECT_TRUE(start.ok) << start.reason;
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "x11");
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (server > 0) {
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }
}

} // namespace
