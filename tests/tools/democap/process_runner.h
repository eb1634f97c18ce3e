#pragma once
// Runs a program as a user would and collects what it printed.
#include <map>
#include <optional>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;    // exit status, or -1 when ended by a signal
    std::string output; // stdout and stderr together
};

// envChanges: a value sets the variable, nothing removes it.
RunResult runProgram(const std::vector<std::string>& args, const std::string& workDir,
                     const std::map<std::string, std::optional<std::string>>& envChanges = {});

// A fresh folder under the temporary directory, removed with its contents.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Names of the plain files in a folder, sorted; empty when it does not exist.
std::vector<std::string> filesIn(const std::string& folder);
