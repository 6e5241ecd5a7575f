#include "platform/PluginLoader.h"

#include <cstdio>
#include <map>
#include <mutex>

#include "platform/DynamicLibrary.h"
#include "platform/Registry.h"

namespace quoril {

namespace {

thread_local int t_comCount = 0;

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads count hex digits at text[pos]; false on a non-digit.
bool readHex(std::string_view text, size_t pos, int count, uint64_t& out) {
    out = 0;
    for (int i = 0; i < count; ++i) {
        int digit = hexValue(text[pos + i]);
        if (digit < 0) {
            return false;
        }
        out = out << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

// Libraries once loaded stay loaded: an object made by a plug-in may be released late, and its
// code must still be there. The map is made once and never destroyed, so no exit-time destructor
// unloads code under a driver that is still being released.
struct LoadedLibraries {
    std::mutex mutex;
    std::map<std::string, DynamicLibrary> byPath;  // guarded by mutex
};

LoadedLibraries& loadedLibraries() {
    static LoadedLibraries* libraries = new LoadedLibraries();
    return *libraries;
}

}  // namespace

bool ClassId::isZero() const {
    return *this == ClassId();
}

bool parseClassId(std::string_view text, ClassId& out) {
    out = ClassId();
    // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-') {
        return false;
    }
    ClassId id;
    uint64_t value = 0;
    if (!readHex(text, 1, 8, value)) {
        return false;
    }
    id.data1 = static_cast<uint32_t>(value);
    if (!readHex(text, 10, 4, value)) {
        return false;
    }
    id.data2 = static_cast<uint16_t>(value);
    if (!readHex(text, 15, 4, value)) {
        return false;
    }
    id.data3 = static_cast<uint16_t>(value);
    static constexpr size_t kBytePositions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!readHex(text, kBytePositions[i], 2, value)) {
            return false;
        }
        id.data4[i] = static_cast<uint8_t>(value);
    }
    out = id;
    return true;
}

std::string formatClassId(const ClassId& id) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id.data1, id.data2,
                  id.data3, id.data4[0], id.data4[1], id.data4[2], id.data4[3], id.data4[4], id.data4[5],
                  id.data4[6], id.data4[7]);
    return text;
}

int comInitialize() {
    return ++t_comCount;
}

int comUninitialize() {
    if (t_comCount > 0) {
        --t_comCount;
    }
    return t_comCount;
}

int comInitializeCount() {
    return t_comCount;
}

long createInstance(const Registry& registry, const ClassId& classId, void** object) {
    if (object == nullptr) {
        return kCreateNoPointer;
    }
    *object = nullptr;
    std::optional<std::string> path =
        registry.stringValue("HKEY_CLASSES_ROOT\\clsid\\" + formatClassId(classId) + "\\InprocServer32", "");
    if (!path || path->empty()) {
        return kClassNotRegistered;
    }
    PluginFactory factory = nullptr;
    {
        LoadedLibraries& libraries = loadedLibraries();
        std::lock_guard<std::mutex> lock(libraries.mutex);
        auto found = libraries.byPath.find(*path);
        if (found == libraries.byPath.end()) {
            DynamicLibrary library;
            if (!library.open(*path)) {
                return kModuleNotFound;
            }
            found = libraries.byPath.emplace(*path, std::move(library)).first;
        }
        factory = found->second.function<PluginFactory>(kPluginFactorySymbol);
    }
    if (factory == nullptr) {
        return kModuleNotFound;
    }
    void* made = factory(&classId);
    if (made == nullptr) {
        return kClassNotAvailable;
    }
    *object = made;
    return kCreateOk;
}

bool describePlugin(const std::string& path, PluginDescription& out, std::string& error) {
    DynamicLibrary library;
    if (!library.open(path)) {
        error = library.error();
        return false;
    }
    auto name = library.function<PluginTextFunction>(kPluginNameSymbol);
    auto classIdText = library.function<PluginTextFunction>(kPluginClassIdSymbol);
    if (name == nullptr || classIdText == nullptr || library.symbol(kPluginFactorySymbol) == nullptr) {
        error = "not a driver plug-in (missing " +
                std::string(name == nullptr          ? kPluginNameSymbol
                            : classIdText == nullptr ? kPluginClassIdSymbol
                                                     : kPluginFactorySymbol) +
                ")";
        return false;
    }
    const char* nameText = name();
    const char* idText = classIdText();
    ClassId parsed;
    if (nameText == nullptr || *nameText == '\0' || idText == nullptr || !parseClassId(idText, parsed)) {
        error = "plug-in reports no name or an invalid class id";
        return false;
    }
    out.name = nameText;
    out.classIdText = idText;
    return true;
}

}  // namespace quoril
