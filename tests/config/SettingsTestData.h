#pragma once

#include <string>

#include "config/Settings.h"
#include "platform/Registry.h"

namespace quoril::test {

// The block the reader appends when fewer than six counted lines were accepted.
inline constexpr const char* kInvalidBlock =
    "\r\nConfiguration is invalid. Default setting for above error item will be assumed. Defaults by "
    "item:\r\n"
    "\tLeft/Right channel (0/1)\r\n"
    "\tSRC Converter (1)\r\n"
    "\tVolume (-30.0db)\r\n"
    "\tDiagnostics (Yes)\r\n";

inline constexpr const char* kNoInstallPath = "Installation path not found in Registry. Reinstall player!";

// A registry file whose HKLM\SOFTWARE\Ravek "Path" names installDir, among other values.
inline std::string registryFileNaming(const std::string& installDir) {
    return "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n"
           "\"Version\"=\"1.0\"\n"
           "\"Path\"=\"" +
           installDir + "\"\n";
}

// What a driver scan would list on a machine with three cards: one pair, four pairs, and more
// pairs than the settings window can offer.
inline void listThreeDrivers(Settings& settings) {
    struct Card {
        const char* name;
        int16_t pairs;
    };
    const Card cards[] = {{"Quoril Capture", 1}, {"Big Card", 4}, {"Huge Card", 60}};
    for (auto& entry : settings.drivers) {
        entry = AsioDriverEntry();
    }
    int16_t index = 0;
    for (const Card& card : cards) {
        AsioDriverEntry& entry = settings.drivers[index++];
        entry.name = card.name;
        entry.pairCount = card.pairs;
        for (int pair = 0; pair < card.pairs && pair < AsioDriverEntry::kMaxPairs; ++pair) {
            entry.pairNames[pair] =
                "Out " + std::to_string(2 * pair + 1) + " / Out " + std::to_string(2 * pair + 2);
        }
    }
    settings.driverCount = index;
    settings.driversFound = true;
}

}  // namespace quoril::test
