#include <cstdio>
#include <cstring>
#include <string>

#include "app/Commands.h"
#include "app/FirstRun.h"

namespace quoril {

namespace {

void printRegisterUsage() {
    std::fputs("usage: quoril --register [--install-dir DIR]\n", stderr);
}

// Parses the options after "--register". False on a usage error.
bool parseRegisterOptions(int argc, char** argv, std::string& installDir) {
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--install-dir") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                return false;
            }
            installDir = argv[++i];
        } else if (std::strncmp(arg, "--install-dir=", 14) == 0 && arg[14] != '\0') {
            installDir = arg + 14;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

// Writes the installation into the per-user registry file: HKLM\SOFTWARE\Ravek "Path" and the
// bundled driver plug-ins. Every other key already in the file is kept. Runs alone, before any
// window exists, so the single-instance rule does not apply to it.
int runRegisterCommand(int argc, char** argv) {
    std::string installDir;
    if (!parseRegisterOptions(argc, argv, installDir)) {
        printRegisterUsage();
        return 2;
    }
    Registration registration;
    std::string error;
    if (!registerInstallation(installDir, registration, error)) {
        std::fprintf(stderr, "quoril: %s\n", error.c_str());
        return 1;
    }
    std::printf("Installation directory: %s\n", registration.installDir.c_str());
    std::printf("Registry file: %s\n", registration.registryPath.c_str());
    std::fputs(registration.driverReport.c_str(), stdout);
    std::printf("Driver plug-ins registered from %s: %d\n", registration.pluginDir.c_str(),
                registration.drivers);
    return 0;
}

}  // namespace quoril
