#include "asio/DriverRegistration.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/PluginLoader.h"
#include "platform/Registry.h"

namespace quoril {

int registerBundledDrivers(Registry& registry, const std::string& pluginDir, std::string& report) {
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(pluginDir, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".so" && it->is_regular_file(error)) {
            files.push_back(it->path());
        }
    }
    if (error) {
        report += "No driver plug-ins registered: cannot read " + pluginDir + " (" + error.message() + ")\n";
        return 0;
    }
    std::sort(files.begin(), files.end());

    int registered = 0;
    for (const fs::path& file : files) {
        const std::string path = fs::absolute(file, error).lexically_normal().string();
        PluginDescription plugin;
        std::string why;
        if (!describePlugin(path, plugin, why)) {
            report += "Skipped " + path + ": " + why + "\n";
            continue;
        }
        const std::string driverKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" + plugin.name;
        registry.setString(driverKey, "clsid", plugin.classIdText);
        registry.setString(driverKey, "description", plugin.name);
        const std::string serverKey = "HKEY_CLASSES_ROOT\\clsid\\" + plugin.classIdText + "\\InprocServer32";
        registry.setString(serverKey, "", path);
        registry.setString(serverKey, "ThreadingModel", "Apartment");
        report += "Registered driver \"" + plugin.name + "\" " + plugin.classIdText + ": " + path + "\n";
        ++registered;
    }
    return registered;
}

}  // namespace quoril
