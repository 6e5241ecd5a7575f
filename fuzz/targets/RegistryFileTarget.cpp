// Registry files in export format: parsed, walked, written out and parsed again.

#include <string_view>

#include "FuzzTargets.h"
#include "platform/Registry.h"

namespace quoril::fuzz {
namespace {

// Visits every key below path, reading its values as the driver list and start-up do.
void walk(const Registry& registry, const std::string& path, int depth) {
    if (depth > 64) {
        return;
    }
    for (const Registry::Value& value : registry.values(path)) {
        registry.value(path, value.name);
        registry.stringValue(path, value.name);
    }
    for (const std::string& subkey : registry.subkeys(path)) {
        walk(registry, path + "\\" + subkey, depth + 1);
    }
}

}  // namespace

int fuzzRegistryFile(const uint8_t* data, size_t size) {
    Registry registry;
    registry.parse(std::string_view(reinterpret_cast<const char*>(data), size));
    walk(registry, "HKEY_LOCAL_MACHINE", 0);
    walk(registry, "HKEY_CLASSES_ROOT", 0);
    registry.stringValue("HKLM\\SOFTWARE\\Ravek", "Path");

    // Writing out what was understood and reading it again loses nothing more.
    std::string once = registry.serialize();
    Registry again;
    again.parse(once);
    if (again.serialize() != once) {
        fuzzFailure("a written registry file reads back differently");
    }
    return 0;
}

std::vector<std::string> registryFileSeeds() {
    return {
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\r\n"
        "\"Path\"=\"/opt/quoril\"\r\n\"Version\"=dword:0000000a\r\n@=\"default\"\r\n",
        "Windows Registry Editor Version 5.00\n\n[HKLM\\SOFTWARE\\ASIO\\Quoril Capture]\n"
        "\"CLSID\"=\"{8D1C2E4A-0000-4000-8000-00000000C0DE}\"\n\"Description\"=\"Capture\"\n\n"
        "[HKCR\\CLSID\\{8D1C2E4A-0000-4000-8000-00000000C0DE}\\InprocServer32]\n"
        "@=\"/usr/lib/quoril/drivers/libquoril-capture.so\"\n; a comment\n\"Quoted "
        "\\\"name\\\"\"=\"a\\\\b\"\n",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Fault]\n\"Refuse\"=\"start,getChannels\"\n\"Speed\"=dword:"
        "ffffffff\n"
        "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n[broken\n\"x\"=\n",
    };
}

}  // namespace quoril::fuzz
