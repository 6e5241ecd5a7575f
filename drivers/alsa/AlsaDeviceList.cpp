#include "AlsaDeviceList.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <cstring>

#include "AlsaSettings.h"

namespace quoril {

namespace {

// A hint field as text; ALSA hands out malloc'ed strings.
std::string takeHint(void* hint, const char* id) {
    char* text = snd_device_name_get_hint(hint, id);
    if (text == nullptr) {
        return {};
    }
    std::string out(text);
    std::free(text);
    return out;
}

std::string joinLines(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += ", ";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace

std::vector<AlsaDevice> listAlsaPlaybackDevices() {
    std::vector<AlsaDevice> devices;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || hints == nullptr) {
        return devices;
    }
    for (void** hint = hints; *hint != nullptr; ++hint) {
        std::string name = takeHint(*hint, "NAME");
        std::string direction = takeHint(*hint, "IOID");
        if (name.empty() || (!direction.empty() && direction != "Output")) {
            continue;
        }
        devices.push_back({name, joinLines(takeHint(*hint, "DESC"))});
    }
    snd_device_name_free_hint(hints);
    return devices;
}

std::string formatAlsaDeviceList(const std::vector<AlsaDevice>& devices, const std::string& current) {
    std::string out = "ALSA playback devices (* = \"Device\" of Quoril ALSA, now \"" + current + "\"):\n";
    if (devices.empty()) {
        out += "  (ALSA announces no playback device)\n";
    }
    for (const AlsaDevice& device : devices) {
        out += device.name == current ? "* " : "  ";
        out += device.name;
        if (!device.description.empty()) {
            out += "\t" + device.description;
        }
        out += "\n";
    }
    out += "Any other ALSA PCM name works too. Set it as \"Device\" under [";
    out += AlsaSettings::kKey;
    out += "] in the registry file; it takes effect at the next session.\n";
    return out;
}

}  // namespace quoril
