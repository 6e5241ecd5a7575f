#include "platform/ProcessList.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace quoril {

namespace {

std::string readLink(const std::string& path) {
    char buffer[4096];
    ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0) {
        return std::string();
    }
    return std::string(buffer, static_cast<size_t>(n));
}

std::string baseName(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // A replaced executable shows as "quoril (deleted)".
    const char* deleted = " (deleted)";
    if (name.size() > std::strlen(deleted) && name.ends_with(deleted)) {
        name.resize(name.size() - std::strlen(deleted));
    }
    return name;
}

std::string processName(const std::string& pidDir) {
    std::string exe = readLink(pidDir + "/exe");
    if (!exe.empty()) {
        return baseName(exe);
    }
    // Another user's process: exe is not readable, comm is (cut to 15 characters by the kernel).
    FILE* file = std::fopen((pidDir + "/comm").c_str(), "r");
    if (!file) {
        return std::string();
    }
    char comm[64] = {};
    if (!std::fgets(comm, sizeof comm, file)) {
        comm[0] = '\0';
    }
    std::fclose(file);
    std::string name(comm);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) {
        name.pop_back();
    }
    return name;
}

// argv[1] of a process, from its NUL-separated command line; empty when it has none.
std::string firstArgument(const std::string& pidDir) {
    FILE* file = std::fopen((pidDir + "/cmdline").c_str(), "r");
    if (!file) {
        return std::string();
    }
    char buffer[512];
    size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[n] = '\0';
    size_t first = std::strlen(buffer);
    return first + 1 < n ? std::string(buffer + first + 1) : std::string();
}

}  // namespace

int countProcessesNamed(std::string_view exeName, std::initializer_list<std::string_view> ignoredModes) {
    DIR* proc = opendir("/proc");
    if (!proc) {
        return 0;
    }
    int count = 0;
    while (dirent* entry = readdir(proc)) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0]))) {
            continue;
        }
        std::string name = processName(std::string("/proc/") + entry->d_name);
        if (name != exeName && !(exeName.size() > 15 && name.size() == 15 && exeName.substr(0, 15) == name)) {
            continue;
        }
        if (ignoredModes.size() > 0) {
            std::string mode = firstArgument(std::string("/proc/") + entry->d_name);
            bool ignored = false;
            for (std::string_view ignoredMode : ignoredModes) {
                ignored = ignored || mode == ignoredMode;
            }
            if (ignored) {
                continue;
            }
        }
        ++count;
    }
    closedir(proc);
    return count;
}

std::string executablePath() {
    return readLink("/proc/self/exe");
}

std::string executableDirectory() {
    std::string path = executablePath();
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string driverPluginDirectory() {
    std::string dir = executableDirectory();
    size_t slash = dir.rfind('/');
    std::string prefix = slash == std::string::npos ? std::string("..") : dir.substr(0, slash);
    return prefix + "/lib/quoril/drivers";
}

}  // namespace quoril
