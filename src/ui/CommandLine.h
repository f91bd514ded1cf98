#pragma once
// The program's command line. --help, --version and --store-path are answered
// on the terminal, without a display and without opening a window.

#include <optional>

namespace ktv {

// The exit code when the command line has been answered (or is wrong), or
// nothing when the program should go on and open its windows.
std::optional<int> answerCommandLine(int argc, char *argv[]);

} // namespace ktv
