#pragma once

#include <string>

namespace quoril {

// The ALSA driver's own values in the registry file, under HKLM\SOFTWARE\ASIO\Quoril ALSA:
// "Device" (an ALSA PCM name) and "BufferSize" (frames per half-buffer, string or dword).
struct AlsaSettings {
    static constexpr const char* kKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Quoril ALSA";
    static constexpr const char* kDefaultDevice = "hw:0,0";
    static constexpr long kDefaultBufferSize = 512;

    std::string device = kDefaultDevice;
    long bufferSize = kDefaultBufferSize;

    // Reads the values from the registry file the player uses; absent or unusable values keep
    // their defaults. Window thread.
    static AlsaSettings load();
    // Stores device as "Device" in the registry file (the one the player reads, or the per-user
    // file when there is none yet), written whole through a temporary file. False with error set
    // when the file cannot be written. Window thread.
    static bool saveDevice(const std::string& device, std::string& error);
};

}  // namespace quoril
