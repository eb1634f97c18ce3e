// Starting a program of the package: found beside us by name, run with our
// working directory and its arguments, refused when it cannot run.

#include "launcher/process_start.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

class StartProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string name = "launcher_start_";
        name.append(std::to_string(::getpid()));
        name.append("_");
        name.append(::testing::UnitTest::GetInstance()->current_test_info()->name());
        folder_ = fs::temp_directory_path() / name;
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    void writeFile(const std::string& name, const std::string& text, bool executable) {
        const fs::path path = folder_ / name;
        std::ofstream(path) << text;
        ::chmod(path.c_str(), executable ? 0755 : 0644);
    }

    // Waits up to five seconds for the stand-in to write its record.
    std::string waitForRecord() {
        const fs::path record = folder_ / "record.txt";
        for (int i = 0; i < 500; ++i) {
            if (fs::exists(record) && fs::file_size(record) > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                std::ifstream in(record);
                std::stringstream text;
                text << in.rdbuf();
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }

    fs::path folder_;
};

TEST_F(StartProgramTest, RunsTheProgramBesideUsWithItsArgumentAndOurDirectory) {
    writeFile("demo",
              "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$#\" \"$*\" \"$(pwd)\" > \"$(dirname \"$0\")/"
              "record.txt\"\n",
              true);
    ASSERT_TRUE(startProgram("demo 0", folder_.string()));
    EXPECT_EQ(waitForRecord(), "1|0|" + fs::current_path().string() + "\n");
    fs::remove(folder_ / "record.txt");
    ASSERT_TRUE(startProgram("demo 1", folder_.string()));
    EXPECT_EQ(waitForRecord(), "1|1|" + fs::current_path().string() + "\n");
}

TEST_F(StartProgramTest, RefusesWhatCannotRun) {
    EXPECT_FALSE(startProgram("demo 1", folder_.string())); // missing
    writeFile("demo", "#!/bin/sh\nexit 0\n", false);
    EXPECT_FALSE(startProgram("demo 1", folder_.string())); // not executable
    fs::remove(folder_ / "demo");
    fs::create_directory(folder_ / "demo");
    EXPECT_FALSE(startProgram("demo 1", folder_.string())); // a folder
    fs::remove(folder_ / "demo");
    writeFile("demo",
              std::string("\x7f"
                          "ELF garbage",
                          12),
              true);
    EXPECT_FALSE(startProgram("demo 1", folder_.string())); // exec itself fails
    writeFile("other", "#!/bin/sh\nexit 0\n", true);
    EXPECT_FALSE(startProgram("", folder_.string()));
    EXPECT_FALSE(startProgram("../other 1", (folder_ / "sub").string())); // names carry no folder
}

TEST(ExecutableFolder, IsTheFolderOfThisProgram) {
    const std::string folder = executableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(fs::exists(fs::path(folder) / "launcher_tests"));
}

} // namespace
