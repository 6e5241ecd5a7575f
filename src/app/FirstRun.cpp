#include "app/FirstRun.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "asio/DriverRegistration.h"
#include "config/Settings.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"

namespace quoril {

namespace {

// The key whose "Path" value names the installation directory; the player reads it at start-up.
constexpr const char* kInstallKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek";

}  // namespace

bool registerInstallation(const std::string& requestedDir, Registration& result, std::string& error) {
    namespace fs = std::filesystem;
    result = Registration();
    std::string installDir = requestedDir;
    if (installDir.empty()) {
        const char* home = std::getenv("HOME");
        if (!home || *home == '\0') {
            error = "HOME is not set; name the installation directory with --install-dir DIR";
            return false;
        }
        installDir = std::string(home) + "/.config/quoril";
    }

    std::error_code ec;
    // The player may start from any working directory, so the registry holds an absolute path.
    fs::path installPath = fs::absolute(installDir, ec);
    if (ec) {
        error = "cannot resolve the installation directory " + installDir + ": " + ec.message();
        return false;
    }
    installPath = installPath.lexically_normal();
    installDir = installPath.string();
    if (installDir.size() > 1 && installDir.back() == '/') {
        installDir.pop_back();
    }
    // The player keeps at most this many characters of the path it reads from the registry; a
    // longer path would lead it to another directory, so it is refused here, before anything is made.
    if (installDir.size() > static_cast<size_t>(Settings::kMaxPathChars)) {
        error = "the installation directory " + installDir + " is longer than " +
                std::to_string(Settings::kMaxPathChars) + " characters, more than the player can keep";
        return false;
    }
    fs::create_directories(installPath, ec);
    if (ec || !fs::is_directory(installPath)) {
        error = "cannot create the installation directory " + installDir +
                (ec ? ": " + ec.message() : std::string());
        return false;
    }

    const std::string registryPath = Registry::userPath();
    Registry registry;
    const bool registryExists = fs::exists(registryPath, ec);
    if (ec) {
        error = "cannot reach the registry file " + registryPath + ": " + ec.message();
        return false;
    }
    if (registryExists && !registry.load(registryPath)) {
        error = "cannot read the registry file " + registryPath;
        return false;
    }
    registry.setString(kInstallKey, "Path", installDir);

    std::string report;
    const std::string pluginDir = driverPluginDirectory();
    const int drivers = registerBundledDrivers(registry, pluginDir, report);

    const fs::path registryDir = fs::path(registryPath).parent_path();
    if (!registryDir.empty()) {
        fs::create_directories(registryDir, ec);
        if (ec) {
            error = "cannot create the directory of the registry file " + registryDir.string() + ": " +
                    ec.message();
            return false;
        }
    }
    if (!registry.save(registryPath)) {
        error = "cannot write the registry file " + registryPath + "; it was left as it was";
        return false;
    }

    result.installDir = installDir;
    result.registryPath = registryPath;
    result.pluginDir = pluginDir;
    result.drivers = drivers;
    result.driverReport = report;
    if (!result.driverReport.empty() && result.driverReport.back() != '\n') {
        result.driverReport += '\n';
    }
    return true;
}

bool ensureRegistered(std::string& report) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // locate() gives the first file that exists, or the per-user path when there is none.
    if (fs::exists(Registry::locate(), ec)) {
        return true;
    }
    Registration registration;
    std::string error;
    if (!registerInstallation(std::string(), registration, error)) {
        report +=
            "\r\nFirst start: no registry file was found, and registering this installation FAILED:\r\n\t";
        report += error;
        report += "\r\n";
        return false;
    }
    report += "\r\nFirst start: no registry file was found, so this installation was registered.\r\n";
    report += "\tRegistry file: " + registration.registryPath + "\r\n";
    report += "\tInstallation directory: " + registration.installDir + "\r\n";
    // The plug-in lines become detail lines of this paragraph.
    size_t start = 0;
    while (start < registration.driverReport.size()) {
        const size_t end = registration.driverReport.find('\n', start);
        report += "\t\t" + registration.driverReport.substr(start, end - start) + "\r\n";
        start = end + 1;
    }
    report += "\tDriver plug-ins registered from " + registration.pluginDir + ": " +
              std::to_string(registration.drivers) + "\r\n";
    return true;
}

}  // namespace quoril
