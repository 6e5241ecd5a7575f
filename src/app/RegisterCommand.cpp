#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/Commands.h"
#include "asio/DriverRegistration.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"

namespace quoril {

namespace {

// The key whose "Path" value names the installation directory; the player reads it at start-up.
constexpr const char* kInstallKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek";

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

int fail(const std::string& message) {
    std::fprintf(stderr, "quoril: %s\n", message.c_str());
    return 1;
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
    if (installDir.empty()) {
        const char* home = std::getenv("HOME");
        if (!home || *home == '\0') {
            return fail("HOME is not set; name the installation directory with --install-dir DIR");
        }
        installDir = std::string(home) + "/.config/quoril";
    }

    namespace fs = std::filesystem;
    std::error_code error;
    // The player may start from any working directory, so the registry holds an absolute path.
    fs::path installPath = fs::absolute(installDir, error);
    if (error) {
        return fail("cannot resolve the installation directory " + installDir + ": " + error.message());
    }
    installPath = installPath.lexically_normal();
    installDir = installPath.string();
    if (installDir.size() > 1 && installDir.back() == '/') {
        installDir.pop_back();
    }
    fs::create_directories(installPath, error);
    if (error || !fs::is_directory(installPath)) {
        return fail("cannot create the installation directory " + installDir +
                    (error ? ": " + error.message() : std::string()));
    }

    const std::string registryPath = Registry::userPath();
    Registry registry;
    const bool registryExists = fs::exists(registryPath, error);
    if (error) {
        return fail("cannot reach the registry file " + registryPath + ": " + error.message());
    }
    if (registryExists) {
        if (!registry.load(registryPath)) {
            return fail("cannot read the registry file " + registryPath);
        }
    }
    registry.setString(kInstallKey, "Path", installDir);

    std::string report;
    const std::string pluginDir = driverPluginDirectory();
    const int drivers = registerBundledDrivers(registry, pluginDir, report);

    const fs::path registryDir = fs::path(registryPath).parent_path();
    if (!registryDir.empty()) {
        fs::create_directories(registryDir, error);
        if (error) {
            return fail("cannot create the directory of the registry file " + registryDir.string() + ": " +
                        error.message());
        }
    }
    if (!registry.save(registryPath)) {
        return fail("cannot write the registry file " + registryPath + "; it was left as it was");
    }

    std::printf("Installation directory: %s\n", installDir.c_str());
    std::printf("Registry file: %s\n", registryPath.c_str());
    if (!report.empty()) {
        std::fputs(report.c_str(), stdout);
        if (report.back() != '\n') {
            std::fputc('\n', stdout);
        }
    }
    std::printf("Driver plug-ins registered from %s: %d\n", pluginDir.c_str(), drivers);
    return 0;
}

}  // namespace quoril
