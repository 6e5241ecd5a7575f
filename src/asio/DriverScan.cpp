#include "asio/DriverScan.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "asio/AsioDriverList.h"
#include "asio/AsioHost.h"
#include "config/Settings.h"
#include "platform/CFormat.h"

namespace quoril {

namespace {

constexpr int kDefaultBeforeMs = 500;
constexpr int kDefaultAfterEachMs = 200;
constexpr size_t kKeyNameBuffer = 128;

int g_beforeMs = -1;  // window thread; negative: default or environment
int g_afterEachMs = -1;

int settleTime(int overridden, int fallback) {
    if (overridden >= 0) {
        return overridden;
    }
    const char* text = std::getenv("QUORIL_DRIVER_SETTLE_MS");
    if (text != nullptr && *text != '\0') {
        char* end = nullptr;
        long value = cstrtol(text, &end);
        if (end != text && value >= 0) {
            return static_cast<int>(value);
        }
    }
    return fallback;
}

void settle(int ms) {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

std::string channelName(long channel) {
    ASIOChannelInfo info{};
    info.channel = channel;
    info.isInput = ASIOFalse;
    ASIOGetChannelInfo(&info);  // the name counts whatever the result
    info.name[sizeof info.name - 1] = '\0';
    return info.name;
}

}  // namespace

void setDriverSettleTimes(int beforeMs, int afterEachMs) {
    g_beforeMs = beforeMs;
    g_afterEachMs = afterEachMs;
}

bool scanUsableDrivers(Settings& settings) {
    // A private list: the session's asioDrivers is not touched.
    auto* drivers = new AsioDrivers();
    settle(settleTime(g_beforeMs, kDefaultBeforeMs));
    settings.driverCount = 0;
    for (AsioDriverEntry& entry : settings.drivers) {
        entry = AsioDriverEntry();
    }
    bool listed = false;

    const Registry& registry = drivers->registry();
    const char* asioKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO";
    if (registry.keyExists(asioKey)) {
        for (const std::string& subkey : registry.subkeys(asioKey)) {
            if (subkey.size() + 1 > kKeyNameBuffer) {
                break;  // the enumeration ends at a name that does not fit its buffer
            }
            if (settings.driverCount >= Settings::kMaxDrivers) {
                break;  // no room for a ninth driver
            }
            if (drivers->loadDriver(subkey)) {
                ASIODriverInfo info{};
                info.asioVersion = 2;
                info.sysRef = nullptr;
                long inputs = 0;
                long outputs = 0;
                if (ASIOInit(&info) == ASE_OK && ASIOGetChannels(&inputs, &outputs) == ASE_OK) {
                    AsioDriverEntry& entry = settings.drivers[settings.driverCount];
                    entry.name = subkey;
                    entry.selected = false;
                    entry.pairCount = static_cast<int16_t>(outputs / 2);
                    entry.pairIndex = 0;
                    for (int pair = 0; pair < entry.pairCount && pair < AsioDriverEntry::kMaxPairs; ++pair) {
                        std::string leftName = channelName(2L * pair);
                        entry.pairNames[pair] = leftName + " / " + channelName(2L * pair + 1);
                    }
                    ++settings.driverCount;
                    listed = true;
                }
            }
            settle(settleTime(g_afterEachMs, kDefaultAfterEachMs));
        }
    }

    delete drivers;  // releases the driver opened last
    theAsioDriver.store(nullptr);
    settings.driversFound = listed;
    return listed;
}

}  // namespace quoril
