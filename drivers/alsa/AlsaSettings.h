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
    // Stores device as "Device" in the registry file the player reads (the per-user file when
    // there is none yet), written whole through a temporary file. When that file cannot be
    // written (a system-wide one), the per-user file becomes a copy of it with the new device.
    // False with error set when nothing could be written. Window thread.
    static bool saveDevice(const std::string& device, std::string& error);
};

}  // namespace quoril
