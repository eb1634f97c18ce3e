#pragma once

// Starting another program of the package and finding our own folder.

#include <string>

// The folder of the running executable (from /proc/self/exe), without a
// trailing slash; empty if it cannot be read.
std::string executableFolder();

// Starts the command line (a program name without a folder, then its
// arguments separated by blanks) as a separate process: the program is the
// file of that name in `folder`, the working directory is ours, and nobody
// waits for it. Returns false when the program could not be started at all
// (missing, not executable, or the exec failed).
bool startProgram(const std::string& commandLine, const std::string& folder);
