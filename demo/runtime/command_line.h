#pragma once

// Full screen is asked for by an argument that is exactly "1", in any
// position (the program name included); anything else is ignored.
bool parseFullscreenArgument(int argc, const char* const* argv);
