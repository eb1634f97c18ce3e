#include "process_runner.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

RunResult runProgram(const std::vector<std::string>& args, const std::string& workDir,
                     const std::map<std::string, std::optional<std::string>>& envChanges) {
    // Everything the child needs is built before the fork.
    std::vector<std::string> envText;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (envChanges.count(name) == 0) {
            envText.push_back(entry);
        }
    }
    for (const auto& [name, value] : envChanges) {
        if (value) {
            envText.push_back(name + "=" + *value);
        }
    }
    std::vector<char*> envp;
    for (std::string& e : envText) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argText(args);
    std::vector<char*> argv;
    for (std::string& a : argText) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    RunResult result;
    int fds[2];
    if (pipe(fds) != 0) {
        result.output = "pipe failed";
        return result;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (chdir(workDir.c_str()) != 0) {
            _exit(126);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(fds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/democap_test_XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

TempFolder::~TempFolder() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_regular_file()) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}
