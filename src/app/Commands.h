#pragma once

namespace quoril {

// The program's modes, chosen by main() from the first argument. Each returns the exit status.
// argv[0] is the program; the mode's own option has been checked by main().

// quoril --register [--install-dir DIR]
int runRegisterCommand(int argc, char** argv);
// quoril --check [--load] PATH
int runCheckCommand(int argc, char** argv);
// quoril [PATH] and quoril --console [PATH]
int runPlayer(int argc, char** argv, bool console);

}  // namespace quoril
