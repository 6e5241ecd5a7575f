#pragma once

#include <string>
#include <string_view>

namespace quoril {

class DiagnosticsLog;
class Registry;
class Settings;

// The settings window shows this box when the confirm form of saveSettings fails.
inline constexpr const char* kSaveProblemText = "A problem occurred trying to save settings.";
inline constexpr const char* kSaveProblemCaption = "Ravek Settings";

// Fills settings() from the installation's settings file. keyPath names the registry key under
// HKEY_LOCAL_MACHINE whose "Path" value is the installation directory (start-up passes
// "SOFTWARE\\Ravek"); fileName is the settings file in it ("Quoril.ini"). Refreshes the memory
// figures, lists the usable drivers with scanDrivers (the driver layer's scan; a command that
// plays nothing passes one that lists none), sets the defaults, then reads the file; the
// messages about bad values go to log. Returns 0 when the file cannot be opened (nothing is
// logged), 1 otherwise; settings().valid says whether enough of it was accepted. Window thread only.
using DriverScanFunction = bool (*)(Settings& settings);
int loadSettings(const char* keyPath, const char* fileName, DiagnosticsLog& log,
                 DriverScanFunction scanDrivers);

enum class SaveForm {
    Shutdown,  // the player is ending: keep the current volume, write only a valid configuration
    Confirm,   // the settings window's OK: always write
};

// Rewrites the settings file whole from settings(). The shutdown form first copies
// currentVolumeDb into volumeDb and writes only when the configuration is valid. The file is
// replaced in one step: a failed write leaves the previous file as it was. Returns false when
// the file could not be written (the confirm form's caller then shows kSaveProblemText).
// Window thread only.
bool saveSettings(SaveForm form, double currentVolumeDb);

// The steps of loadSettings after the memory figures and the driver scan, on the given record
// and registry: the drivers must already be listed in settings. Window thread only.
int readSettingsFile(Settings& settings, const Registry& registry, const char* keyPath, const char* fileName,
                     DiagnosticsLog& log);

// The installation directory named by the "Path" value (exact case) of HKEY_LOCAL_MACHINE\keyPath,
// cut to the 259 characters the record holds; empty when the key or the value is missing.
std::string findInstallationPath(const Registry& registry, std::string_view keyPath);

// Marks the driver named by asioDriverName as selected (with the current pair) and returns the
// settings file's text, lines ended by LF.
std::string composeSettingsFile(Settings& settings);

}  // namespace quoril
