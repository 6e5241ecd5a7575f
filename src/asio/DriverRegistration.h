#pragma once

#include <string>

namespace quoril {

class Registry;

// Registers every driver plug-in found in pluginDir: HKLM\SOFTWARE\ASIO\<name> with "clsid" and
// "description", and HKCR\clsid\{...}\InprocServer32 = the plug-in's path. Appends one line per
// plug-in to report. Returns the number registered.
int registerBundledDrivers(Registry& registry, const std::string& pluginDir, std::string& report);

}  // namespace quoril
