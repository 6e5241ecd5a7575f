#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace quoril {

// Number of running processes whose executable is named exeName (the base name of
// /proc/<pid>/exe, or /proc/<pid>/comm when exe cannot be read), the calling process included.
// Processes whose first argument is one of ignoredModes are not counted: "quoril --check" in a
// terminal must not keep the player from starting.
int countProcessesNamed(std::string_view exeName, std::initializer_list<std::string_view> ignoredModes = {});

// Absolute path of the running executable and its directory (from /proc/self/exe).
std::string executablePath();
std::string executableDirectory();

// The driver plug-in directory: ../lib/quoril/drivers relative to the executable's directory.
std::string driverPluginDirectory();

}  // namespace quoril
