#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "config/Settings.h"
#include "platform/CFormat.h"
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
    }
    settings.driverCount = index;
    settings.driversFound = true;
}

// The fields the settings file holds, as "|name=value|...|", so that a test can compare a whole
// record or look for the fields it cares about ("volume=-20").
inline std::string describe(const Settings& s) {
    std::string pairs;
    for (const AsioDriverEntry& entry : s.drivers) {
        pairs += cformat("%s%d", entry.selected ? "*" : "", entry.pairIndex) + ",";
    }
    return cformat("|asio=%s|pair=%d|src=%d|srcText=%s|rate=%.17g|volume=%.17g|phase=%d|playback=%d|",
                   s.asioDriverName.c_str(), s.channelPair, s.converterType, s.converterText.c_str(),
                   s.outputRate, s.volumeDb, s.phase, s.playbackMode) +
           cformat("diagnostics=%d|filter=%d|zeb=%d|awe=%d|drivers=%s|window=%dx%d|", s.diagnostics,
                   s.fileFilterIndex, s.zebMode, s.useAwe, pairs.c_str(), s.windowWidth, s.windowHeight);
}

// Whether every "name=value" of the '|'-separated list stands in describe(s).
inline ::testing::AssertionResult hasFields(const Settings& s, const std::string& fields) {
    const std::string all = describe(s);
    size_t from = 0;
    while (from < fields.size()) {
        const size_t end = std::min(fields.find('|', from), fields.size());
        if (all.find("|" + fields.substr(from, end - from) + "|") == std::string::npos) {
            return ::testing::AssertionFailure() << fields.substr(from, end - from) << " not in " << all;
        }
        from = end + 1;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace quoril::test
