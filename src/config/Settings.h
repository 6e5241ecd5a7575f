#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quoril {

class PlayerDialog;

// A usable output driver as the driver scan found it.
struct AsioDriverEntry {
    static constexpr int kMaxPairs = 50;
    std::string name;  // the driver's subkey name under HKLM\SOFTWARE\ASIO (at most 31 characters)
    bool selected = false;
    int16_t pairCount = 0;  // output channels / 2
    int16_t pairIndex = 0;  // the pair chosen while this driver was selected
    // "left name / right name" for pairs 0 .. min(pairCount, 50) - 1
    std::array<std::string, kMaxPairs> pairNames;
};

// The one settings record of the process. Only the window thread reads or writes it; the DSP
// and load threads get copies of what they need when a session starts.
class Settings {
  public:
    static constexpr int kMaxDrivers = 8;
    static constexpr int kMaxPathChars = 259;  // installPath holds 260 bytes with the terminator
    static constexpr int kMaxTextChars = 519;  // the other text fields hold 520 bytes

    Settings() = default;
    Settings(const Settings&) = default;
    Settings& operator=(const Settings&) = default;
    virtual ~Settings() = default;

    // Sets every field to the zero state that static storage starts with.
    void reset() { *this = Settings(); }

    bool useAwe = false;
    int32_t fileFilterIndex = 0;  // 1 Cue, 2 Wav, 3 FLAC
    bool zebMode = false;
    int16_t playbackMode = 0;  // 1 repeat, 2 stop, 3 random, 4 exit
    int16_t driverCount = 0;
    bool driversFound = false;
    std::array<AsioDriverEntry, kMaxDrivers> drivers;
    std::string installPath;
    int64_t availableMemory = 0;  // available physical memory - 14,360,576 bytes
    uint64_t totalMemory = 0;
    PlayerDialog* mainWindow = nullptr;
    bool valid = false;
    std::string converterText;
    int16_t converterType = 0;
    double outputRate = 0.0;
    std::string asioDriverName;
    int16_t channelPair = 0;
    double volumeDb = 0.0;
    int16_t phase = 0;
    bool diagnostics = false;
    std::string iniPath;
    // The player window's size in pixels, as the user left it; 0 x 0 until a window has one.
    int32_t windowWidth = 0;
    int32_t windowHeight = 0;
};

// The process-wide reference to the settings record. It points at one static record until the
// application sets another (tests use their own).
Settings& settings();
void setSettingsInstance(Settings* instance);

}  // namespace quoril
