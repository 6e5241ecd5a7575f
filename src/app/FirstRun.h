#pragma once

#include <string>

namespace quoril {

// What registering an installation did.
struct Registration {
    std::string installDir;    // absolute, without a trailing '/'
    std::string registryPath;  // the file written
    std::string pluginDir;     // where the driver plug-ins were looked for
    int drivers = 0;           // plug-ins registered
    std::string driverReport;  // one line per plug-in found, each ended by "\n"
};

// Registers an installation in the per-user registry file (Registry::userPath()): the key
// HKLM\SOFTWARE\Ravek gets "Path" = installDir, and every driver plug-in bundled with this
// program (driverPluginDirectory()) is registered. installDir empty means ~/.config/quoril; the
// directory is created. Every other key already in the file is kept. False with the reason in
// error when anything fails; the registry file is then left as it was.
// Used by "quoril --register" and by the first start. Window thread (or the command's only thread).
bool registerInstallation(const std::string& installDir, Registration& result, std::string& error);

// The first start of a player that has never been registered: when no registry file exists at
// any of the places the player looks (Registry::locate()), registers as "quoril --register" does
// (per-user registry file, installation directory ~/.config/quoril, the bundled drivers) and
// appends a paragraph of CR LF lines saying so to report. A registry file that exists, even an
// empty one, is left alone and nothing is appended.
// True when a registry file exists afterwards. Called once at start-up, on the window thread,
// before the settings are read.
bool ensureRegistered(std::string& report);

}  // namespace quoril
