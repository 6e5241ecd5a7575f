// Quoril.ini contents, read from the installation directory as start-up reads them; whatever was
// accepted is written back and must read back the same.

#include <cmath>

#include "FuzzTargets.h"
#include "FuzzWorkspace.h"
#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "platform/DiagnosticsLog.h"
#include "platform/Registry.h"

namespace quoril::fuzz {
namespace {

constexpr const char* kKeyPath = "SOFTWARE\\Ravek";

// The drivers a scan would have listed: a one-pair card and one with more pairs than the table.
void listDrivers(Settings& settings) {
    const struct {
        const char* name;
        int16_t pairs;
    } cards[] = {{"Quoril Capture", 1}, {"Huge Card", 60}};
    int16_t index = 0;
    for (const auto& card : cards) {
        AsioDriverEntry& entry = settings.drivers[index++];
        entry.name = card.name;
        entry.pairCount = card.pairs;
        for (int pair = 0; pair < card.pairs && pair < AsioDriverEntry::kMaxPairs; ++pair) {
            entry.pairNames[pair] = "L / R";
        }
    }
    settings.driverCount = index;
    settings.driversFound = true;
}

void checkRanges(const Settings& s) {
    if (s.volumeDb < -100.0 || s.volumeDb > 0.0) {
        fuzzFailure("volume outside -100..0 dB");
    }
    if (s.phase != 0 && s.phase != 180) {
        fuzzFailure("phase other than 0 or 180");
    }
    if (s.converterType != 0 && s.converterType != 1) {
        fuzzFailure("converter type other than 0 or 1");
    }
    if (s.playbackMode < 1 || s.playbackMode > 4) {
        fuzzFailure("playback mode outside 1..4");
    }
    if (s.fileFilterIndex < 1 || s.fileFilterIndex > 3) {
        fuzzFailure("file filter outside 1..3");
    }
    if (s.outputRate < 0.0) {
        fuzzFailure("negative output rate");
    }
    if (s.asioDriverName.size() > Settings::kMaxTextChars ||
        s.converterText.size() > Settings::kMaxTextChars) {
        fuzzFailure("text value longer than its field");
    }
}

// Each accepted ASIO line selects its entry, so reading may leave several selected; writing the
// file marks exactly the entries named by the driver name, and names are unique.
void checkSelectionAfterSave(const Settings& s) {
    int selected = 0;
    for (const AsioDriverEntry& entry : s.drivers) {
        selected += entry.selected ? 1 : 0;
    }
    if (selected > 1) {
        fuzzFailure("more than one driver selected after a save");
    }
}

}  // namespace

int fuzzSettingsReader(const uint8_t* data, size_t size) {
    const FuzzWorkspace& workspace = FuzzWorkspace::instance();
    workspace.write("Quoril.ini", data, size);
    Registry registry;
    registry.setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek", "Path", workspace.directory());

    Settings first;
    listDrivers(first);
    DiagnosticsLog log;
    if (readSettingsFile(first, registry, kKeyPath, "Quoril.ini", log) != 1) {
        fuzzFailure("a readable settings file gave result 0");
    }
    checkRanges(first);

    // What is written back reads back to the same values (the rate and volume are rounded by
    // their formats, so only the other fields are compared exactly).
    std::string written = composeSettingsFile(first);
    checkRanges(first);
    checkSelectionAfterSave(first);
    workspace.write("Quoril.ini", written.data(), written.size());
    Settings second;
    listDrivers(second);
    DiagnosticsLog secondLog;
    readSettingsFile(second, registry, kKeyPath, "Quoril.ini", secondLog);
    // A CR at the end of a value is taken as part of the line end when the file is read again,
    // so a name that ends in CRs loses them; that is the file format, not a fault.
    auto withoutTrailingCr = [](std::string text) {
        while (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        return text;
    };
    const bool sameDriver =
        withoutTrailingCr(second.asioDriverName) == withoutTrailingCr(first.asioDriverName);
    if (!sameDriver || second.converterType != first.converterType || second.phase != first.phase ||
        second.playbackMode != first.playbackMode || second.diagnostics != first.diagnostics ||
        second.fileFilterIndex != first.fileFilterIndex || second.zebMode != first.zebMode ||
        second.useAwe != first.useAwe) {
        fuzzFailure("settings written back read back differently");
    }
    if (std::isfinite(first.volumeDb) && std::fabs(second.volumeDb - first.volumeDb) > 0.05 + 1e-9) {
        fuzzFailure("volume written back read back differently");
    }
    return 0;
}

std::vector<std::string> settingsReaderSeeds() {
    return {
        "ASIO=Quoril Capture\nASIOCHANNEL=0\nSRC=1\nRATE= 44100.000\nVOLUME=-30.0\nPHASE=0\nPLAYBACK=R\n"
        "DIAGNOSTICS=Yes\nFILTER=1\n",
        "ASIO=Huge Card\r\nASIOCHANNEL=-49\r\nSRC=0\r\nRATE=-48000\r\nVOLUME= -3.5\r\nPHASE=180\r\n"
        "PLAYBACK=random\r\nDIAGNOSTICS=no\r\nFILTER=3\r\nZEB\r\nAWE\r\n",
        "ASIOCHANNEL=1\nASIO=\nASIO=Nobody\nSRC=7\nRATE=abc\nVOLUME=0.5\nPHASE=90\nDIAGNOSTICS=\nFILTER=7\n"
        "ZEBRA\nawe\n",
        "VOLUME=1e400\nRATE=nan\nRATE=inf\nSRC=\nVOLUME=-100.0\nVOLUME=-100.04\n",
    };
}

}  // namespace quoril::fuzz
