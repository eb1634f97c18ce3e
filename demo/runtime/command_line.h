#pragma once

// Full screen is asked for by an argument that is exactly "1", in any
// position (the program name included); anything else is ignored.
bool parseFullscreenArgument(int argc, const char* const* argv);
// The gentle show is asked for by an argument "--gentle" after the program
// name, in any position.
bool parseGentleArgument(int argc, const char* const* argv);
