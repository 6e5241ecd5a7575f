#pragma once

#include <string>
#include <vector>

namespace quoril {

// The ALSA playback devices that the ALSA configuration announces (its "hints"), for the
// driver's control panel.
struct AlsaDevice {
    std::string name;         // the PCM name to put in "Device", e.g. "hw:CARD=DAC,DEV=0"
    std::string description;  // ALSA's description, its lines joined with ", "
};

// Every PCM whose hint says it can play (no IOID, or IOID "Output"), in ALSA's order. Window thread.
std::vector<AlsaDevice> listAlsaPlaybackDevices();

// The list as the console shows it: a heading, then one line per device, the current one marked
// with '*', then where the choice is stored.
std::string formatAlsaDeviceList(const std::vector<AlsaDevice>& devices, const std::string& current);

}  // namespace quoril
