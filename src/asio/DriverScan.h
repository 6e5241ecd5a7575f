#pragma once

namespace quoril {

class Settings;

// Loads every registered driver once and lists the usable ones, with their output channel
// pairs, in settings.drivers / settings.driverCount. True when at least one was listed.
// Called by loadSettings and by the device session after a rate change altered the channels.
// Window thread only.
bool scanUsableDrivers(Settings& settings);

}  // namespace quoril
