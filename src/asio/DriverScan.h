#pragma once

namespace quoril {

class Settings;

// Loads every registered driver once and lists the usable ones, with their output channel
// pairs, in settings.drivers / settings.driverCount. True when at least one was listed.
// Called by loadSettings and by the device session after a rate change altered the channels.
// Window thread only.
//
// The scan pauses before it starts and after each driver, so that real drivers settle between a
// release and the next load: 500 ms and 200 ms. The environment variable
// QUORIL_DRIVER_SETTLE_MS, when set to a number, replaces both pauses by that many milliseconds
// (tests set 0); setDriverSettleTimes() overrides both for the process.
bool scanUsableDrivers(Settings& settings);

// Replaces the two pauses of the scan (milliseconds; negative restores the default). Window thread.
void setDriverSettleTimes(int beforeMs, int afterEachMs);

}  // namespace quoril
