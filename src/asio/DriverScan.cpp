#include "asio/DriverScan.h"

#include "config/Settings.h"

namespace quoril {

// Scaffolding until the driver list is built: lists no driver.
bool scanUsableDrivers(Settings& settings) {
    settings.driverCount = 0;
    for (auto& entry : settings.drivers) {
        entry = AsioDriverEntry();
    }
    return false;
}

}  // namespace quoril
