#include "AlsaSettings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/CFormat.h"
#include "platform/Registry.h"

namespace quoril {

AlsaSettings AlsaSettings::load() {
    AlsaSettings settings;
    Registry registry;
    registry.loadDefault();
    if (auto device = registry.stringValue(kKey, "Device"); device && !device->empty()) {
        settings.device = *device;
    }
    if (auto size = registry.value(kKey, "BufferSize")) {
        long frames = size->type == Registry::Type::Dword ? static_cast<long>(size->dword)
                                                          : cstrtol(size->text.c_str());
        if (frames > 0) {
            settings.bufferSize = frames;
        }
    }
    return settings;
}

bool AlsaSettings::saveDevice(const std::string& device, std::string& error) {
    const std::string path = Registry::locate();
    Registry registry;
    struct stat info;
    const bool exists = stat(path.c_str(), &info) == 0;
    if (exists && !registry.load(path)) {
        error = "Cannot read " + path;
        return false;
    }
    registry.setString(kKey, "Device", device);
    if (registry.save(path)) {
        return true;
    }
    const int saveError = errno;
    // A system-wide file the user may not write: the user's own file, a whole copy of it with the
    // new device, takes its place from now on.
    const std::string userPath = Registry::userPath();
    if (userPath != path && registry.save(userPath)) {
        return true;
    }
    error = "Cannot write " + path + ": " + std::strerror(saveError);
    return false;
}

}  // namespace quoril
