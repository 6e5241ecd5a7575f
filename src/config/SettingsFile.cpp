#include "config/SettingsFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "config/Settings.h"
#include "config/SettingsReader.h"
#include "platform/AtomicFile.h"
#include "platform/CFormat.h"
#include "platform/DiagnosticsLog.h"
#include "platform/LineReader.h"
#include "platform/MemoryStatus.h"
#include "platform/Registry.h"
#include "platform/Utf8Text.h"

namespace quoril {

namespace {

// The memory that the player and the system keep for themselves, left out of the figure that
// the disc must fit into.
constexpr int64_t kReservedMemory = 0xDB2000;

// A value's data is read into a buffer of this many bytes, a string with its terminator. What
// does not fit cannot be read and is passed over.
constexpr size_t kValueDataBytes = 1024;

// The data of a value taken as text, whatever its type: a string as it stands, a dword as its
// four bytes in memory order up to the first zero byte. False when it does not fit the buffer.
bool valueDataAsText(const Registry::Value& value, std::string& text) {
    if (value.type == Registry::Type::Dword) {
        text.clear();
        for (int shift = 0; shift < 32; shift += 8) {
            const char byte = static_cast<char>((value.dword >> shift) & 0xFF);
            if (byte == '\0') {
                break;
            }
            text.push_back(byte);
        }
        return true;
    }
    if (value.text.size() + 1 > kValueDataBytes) {
        return false;
    }
    text = value.text.substr(0, value.text.find('\0'));
    return true;
}

void setDefaults(Settings& s) {
    s.useAwe = false;
    s.fileFilterIndex = 1;
    s.zebMode = false;
    s.playbackMode = 1;
    s.installPath.clear();
    s.valid = false;
    s.converterText = "1";
    s.converterType = 1;
    s.outputRate = 44100.0;
    s.asioDriverName.clear();
    s.channelPair = 0;
    s.volumeDb = -30.0;
    s.phase = 0;
    s.diagnostics = true;
    s.windowWidth = 0;
    s.windowHeight = 0;
}

const char* playbackLine(int16_t mode) {
    switch (mode) {
        case 1:
            return "PLAYBACK=R\n";
        case 2:
            return "PLAYBACK=S\n";
        case 3:
            return "PLAYBACK=N\n";
        case 4:
            return "PLAYBACK=X\n";
        default:
            return nullptr;
    }
}

}  // namespace

std::string findInstallationPath(const Registry& registry, std::string_view keyPath) {
    const std::string key = "HKEY_LOCAL_MACHINE\\" + std::string(keyPath);
    if (!registry.keyExists(key)) {
        return std::string();
    }
    std::string text;
    for (const Registry::Value& value : registry.values(key)) {
        if (!valueDataAsText(value, text)) {
            continue;
        }
        if (value.name == "Path") {
            return utf8Cut(text, Settings::kMaxPathChars);
        }
    }
    return std::string();
}

int readSettingsFile(Settings& settings, const Registry& registry, const char* keyPath, const char* fileName,
                     DiagnosticsLog& log) {
    setDefaults(settings);

    settings.installPath = findInstallationPath(registry, keyPath ? keyPath : "");
    if (settings.installPath.empty()) {
        log.append("Installation path not found in Registry. Reinstall player!");
        return 1;
    }

    settings.iniPath = settings.installPath + "/" + (fileName ? fileName : "");
    settings.iniPath = utf8Cut(settings.iniPath, Settings::kMaxTextChars);
    // A directory opens for reading here but is no settings file.
    std::error_code error;
    if (std::filesystem::is_directory(settings.iniPath, error)) {
        return 0;
    }
    LineReader file;
    if (!file.open(settings.iniPath)) {
        return 0;
    }
    SettingsReader reader(settings, log);
    reader.readAll(file);
    file.close();

    if (reader.countedItems() < 6) {
        log.append(
            "\r\nConfiguration is invalid. Default setting for above error item will be assumed. Defaults by "
            "item:\r\n\tLeft/Right channel (0/1)\r\n\tSRC Converter (1)\r\n\tVolume "
            "(-30.0db)\r\n\tDiagnostics "
            "(Yes)\r\n");
        return 1;
    }
    settings.valid = true;
    return 1;
}

int loadSettings(const char* keyPath, const char* fileName, DiagnosticsLog& log,
                 DriverScanFunction scanDrivers) {
    Settings& s = settings();

    MemoryStatus memory;
    readMemoryStatus(memory);
    s.availableMemory = static_cast<int64_t>(memory.availableBytes) - kReservedMemory;
    s.totalMemory = memory.totalBytes;

    s.driversFound = scanDrivers(s);

    Registry registry;
    registry.loadDefault();
    return readSettingsFile(s, registry, keyPath, fileName, log);
}

std::string composeSettingsFile(Settings& s) {
    const int count = std::clamp<int>(s.driverCount, 0, Settings::kMaxDrivers);
    for (int i = 0; i < Settings::kMaxDrivers; ++i) {
        AsioDriverEntry& entry = s.drivers[i];
        entry.selected = false;
        if (i < count && entry.name == s.asioDriverName) {
            entry.selected = true;
            entry.pairIndex = s.channelPair;
        }
    }

    std::string text;
    text += "ASIO=" + s.asioDriverName + "\n";
    text += cformat("ASIOCHANNEL=%d\n", s.channelPair);
    text += cformat("SRC=%d\n", s.converterType);
    text += cformat("RATE=%10.3f\n", s.outputRate);
    text += cformat("VOLUME=%5.1f\n", s.volumeDb);
    text += s.phase == 0 ? "PHASE=0\n" : "PHASE=180\n";
    if (const char* line = playbackLine(s.playbackMode)) {
        text += line;
    }
    text += s.diagnostics ? "DIAGNOSTICS=Yes\n" : "DIAGNOSTICS=No\n";
    text += cformat("FILTER=%d\n", s.fileFilterIndex);
    if (s.zebMode) {
        text += "ZEB\n";
    }
    if (s.useAwe) {
        text += "AWE\n";
    }
    if (s.windowWidth > 0 && s.windowHeight > 0) {
        text += cformat("WINDOW=%d %d\n", s.windowWidth, s.windowHeight);
    }
    return text;
}

bool saveSettings(SaveForm form, double currentVolumeDb) {
    Settings& s = settings();
    if (form == SaveForm::Shutdown) {
        s.volumeDb = currentVolumeDb;
        if (!s.valid) {
            return true;  // nothing to keep: an incomplete configuration is not written back
        }
    }
    AtomicFileWriter writer;
    if (s.iniPath.empty() || !writer.open(s.iniPath)) {
        return false;
    }
    const std::string text = composeSettingsFile(s);
    if (std::fwrite(text.data(), 1, text.size(), writer.stream()) != text.size()) {
        return false;  // the writer removes its temporary file; the old file stays
    }
    return writer.commit();
}

}  // namespace quoril
