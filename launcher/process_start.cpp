#include "launcher/process_start.h"

#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <sstream>
#include <vector>

extern char** environ;

std::string executableFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return {};
    }
    std::string path(buffer, size_t(length));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool startProgram(const std::string& commandLine, const std::string& folder) {
    std::vector<std::string> words;
    std::istringstream stream(commandLine);
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    if (words.empty() || words[0].find('/') != std::string::npos) {
        return false;
    }
    const std::string program = (folder == "/" ? "" : folder) + "/" + words[0];

    // posix_spawn reports a failed exec too, but a missing or unusable file
    // is cheaper to refuse here with a clear reason.
    struct stat info {};
    if (stat(program.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        access(program.c_str(), X_OK) != 0) {
        return false;
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    return posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}
