#include "asio/AsioSession.h"

#include <algorithm>
#include <cstring>

#include "asio/AsioDriverList.h"
#include "asio/AsioHost.h"
#include "asio/DriverScan.h"
#include "config/Settings.h"
#include "platform/DiagnosticsLog.h"

namespace quoril {

namespace {

constexpr long kHostAsioVersion = 2;
constexpr const char* kInitFailed = "\r\nASIO Driver initialization FAILED!\r\n";

DriverInfo g_driverInfo{};

}  // namespace

DriverInfo& driverInfo() {
    return g_driverInfo;
}

AsioSession::AsioSession(const std::string& driverName, double requestedRate, int16_t channelPair,
                         DiagnosticsLog& log, const ASIOCallbacks& callbacks, Settings& settingsForRescan)
    : m_requestedRate(requestedRate), m_log(log), m_callbacks(callbacks) {
    // Nothing of an earlier session may survive in the record the callbacks read.
    DriverInfo& info = driverInfo();
    std::memset(&info, 0, sizeof info);
    info.requestedRate = requestedRate;
    info.channelPair = channelPair;
    m_initialized = false;
    m_mustStop = false;
    initialize(driverName, settingsForRescan);
}

bool AsioSession::initialize(const std::string& driverName, Settings& settingsForRescan) {
    DriverInfo& info = driverInfo();
    if (!loadAsioDriver(driverName)) {
        m_log.append(kInitFailed);
        return false;
    }

    info.driverInfo.asioVersion = kHostAsioVersion;
    info.driverInfo.sysRef = nullptr;
    if (ASIOInit(&info.driverInfo) != ASE_OK) {
        m_log.append(kInitFailed);
        return false;
    }
    m_log.appendf(
        "ASIO Driver Initializing...\r\n\tName (%s)\r\n\tPlayer ASIO version (%d)\r\n\tDriver ASIO version "
        "(%d)\r\n\tMessage (%s)\r\n",
        info.driverInfo.name, static_cast<int>(kHostAsioVersion),
        static_cast<int>(info.driverInfo.driverVersion), info.driverInfo.errorMessage);

    if (checkDevice(settingsForRescan) != 0) {
        m_log.append(kInitFailed);
        return false;
    }

    m_log.append("\tPreparing buffers...");
    info.inputBuffers = std::min<long>(info.inputChannels, DriverInfo::kMaxDescribed);
    info.outputBuffers = std::min<long>(info.outputChannels, DriverInfo::kMaxDescribed);
    const long left = 2L * info.channelPair;
    for (int k = 0; k < 2; ++k) {
        ASIOBufferInfo& entry = info.bufferInfos[k];
        entry.isInput = ASIOFalse;
        entry.channelNum = left + k;
        entry.buffers[0] = entry.buffers[1] = nullptr;
    }
    ASIOError result = ASIOCreateBuffers(info.bufferInfos, 2, info.preferredSize, &m_callbacks);
    if (result == ASE_OK) {
        const long described = info.inputBuffers + info.outputBuffers;
        for (long i = 0; i < described; ++i) {
            ASIOChannelInfo& channel = info.channelInfos[i];
            if (i < info.inputBuffers) {
                channel.channel = i;
                channel.isInput = ASIOTrue;
            } else {
                channel.channel = i - info.inputBuffers;
                channel.isInput = ASIOFalse;
            }
            result = ASIOGetChannelInfo(&channel);
            if (result != ASE_OK) {
                break;
            }
        }
    }
    if (result == ASE_OK) {
        info.outputsAreInt32 = true;
        for (long k = 0; k < 2; ++k) {
            const long index = info.inputBuffers + left + k;
            info.outputsAreInt32 = info.outputsAreInt32 && index < info.inputBuffers + info.outputBuffers &&
                                   info.channelInfos[index].type == ASIOSTInt32LSB;
        }
        result = ASIOGetLatencies(&info.inputLatency, &info.outputLatency);
    }
    if (result != ASE_OK) {
        m_log.append("FAILED!");
        m_log.append(kInitFailed);
        return false;
    }
    m_log.appendf(" successful\r\n\tLatencies (input: %d, output: %d)\r\n",
                  static_cast<int>(info.inputLatency), static_cast<int>(info.outputLatency));
    m_initialized = true;
    m_outputLatency = info.outputLatency;
    m_bufferSize = info.preferredSize;
    m_sampleType = 0;

    if (ASIOFuture(kAsioDisableTimeCodeRead, nullptr) == ASE_SUCCESS) {
        m_log.append("\tHardware supports additional optimization - enabled\r\n");
    }
    m_log.append("\r\nASIO Driver initialized.\r\n");
    return true;
}

int AsioSession::checkDevice(Settings& settingsForRescan) {
    DriverInfo& info = driverInfo();
    if (ASIOGetChannels(&info.inputChannels, &info.outputChannels) != ASE_OK) {
        m_log.append(
            "\tDriver NOT providing channel information!\r\n\r\nASIO Driver is not operational.\r\n");
        return -1;
    }
    m_log.appendf("\tChannels (inputs: %d, outputs: %d)\r\n", static_cast<int>(info.inputChannels),
                  static_cast<int>(info.outputChannels));

    if (ASIOGetBufferSize(&info.minSize, &info.maxSize, &info.preferredSize, &info.granularity) != ASE_OK) {
        m_log.append("\tDriver NOT providing buffer details!\r\n\r\nASIO Driver is not operational.\r\n");
        return -2;
    }
    m_log.appendf("\tBuffer details (min: %d, max: %d, preferred: %d, granularity: %d)\r\n",
                  static_cast<int>(info.minSize), static_cast<int>(info.maxSize),
                  static_cast<int>(info.preferredSize), static_cast<int>(info.granularity));

    if (ASIOGetSampleRate(&info.sampleRate) != ASE_OK) {
        m_log.append("\tDriver NOT providing sample rate!\r\n\r\nASIO Driver is not operational.\r\n");
        return -3;
    }
    m_log.appendf("\tSample rate (%8.0f)\r\n", info.sampleRate);

    if (info.sampleRate != m_requestedRate) {
        m_log.appendf("\t\tbeing set to %8.0f\r\n", m_requestedRate);
        if (ASIOSetSampleRate(m_requestedRate) != ASE_OK) {
            m_log.append(
                "\tDriver does NOT support this sample rate!\r\n\r\nChange to valid rate in player "
                "settings.\r\n");
            return -5;
        }
        if (ASIOGetSampleRate(&info.sampleRate) != ASE_OK) {
            m_log.append(
                "\tCannot confirm new sample rate.\r\n\r\nChange to valid rate in player settings.\r\n");
            return -6;
        }
        m_log.appendf("\tNew sample rate (%8.0f)\r\n", info.sampleRate);

        long inputs = 0;
        long outputs = 0;
        if (ASIOGetChannels(&inputs, &outputs) != ASE_OK) {
            m_log.append(
                "\tCannot confirm channels after sample rate changed.\r\n\r\nChange to valid rate in player "
                "settings.\r\n");
            return -7;
        }
        if (inputs != info.inputChannels || outputs != info.outputChannels) {
            scanUsableDrivers(settingsForRescan);
            for (int i = 0; i < settingsForRescan.driverCount; ++i) {
                AsioDriverEntry& entry = settingsForRescan.drivers[i];
                if (entry.name == settingsForRescan.asioDriverName) {
                    entry.selected = true;
                    break;
                }
            }
            m_log.appendf(
                "\t\tNew channels effective (inputs: %d, outputs: %d) due to rate change.\r\n\r\n\t\tRESET "
                "left & "
                "right output channel mapping in settings.\r\n\r\n",
                static_cast<int>(inputs), static_cast<int>(outputs));
            return -8;
        }
    }

    info.postOutput = theAsioDriver.load() != nullptr && ASIOOutputReady() == ASE_OK;
    m_log.appendf("\tOutput Ready? %s\r\n", info.postOutput ? "Supported" : "Not supported");
    return 0;
}

void AsioSession::start() {
    DriverInfo& info = driverInfo();
    if (ASIOStart() != ASE_OK) {
        m_initialized = false;
        m_log.append("\r\nASIO start failed!\r\n");
        return;
    }
    m_log.append("\r\nASIO Driver starting...\r\n");

    const long left = 2L * info.channelPair;
    bool outputsBegun = false;
    const long described = info.inputBuffers + info.outputBuffers;
    for (long i = 0; i < described; ++i) {
        const ASIOChannelInfo& channel = info.channelInfos[i];
        const bool isOutput = channel.isInput == ASIOFalse;
        if (isOutput && channel.channel == left) {
            m_sampleType = channel.type;
        }
        if (isOutput && !outputsBegun) {
            m_log.append("\r\n");
            outputsBegun = true;
        }
        m_log.appendf("\t%s %2d\t[ %s ]\tActive (%d) type (", isOutput ? "Output" : "Input",
                      static_cast<int>(channel.channel + 1), channel.name,
                      static_cast<int>(channel.isActive));
        if (channel.type == ASIOSTInt32LSB) {
            m_log.append("32bits)");
        } else {
            m_log.appendf("NOT SUPPORTED, type=%d)", static_cast<int>(channel.type));
            m_initialized = false;
            m_mustStop = true;
        }
        if (isOutput && channel.channel == left) {
            m_log.append(" > Left Channel");
        } else if (isOutput && channel.channel == left + 1) {
            m_log.append(" > Right Channel");
        }
        m_log.append("\r\n");
    }
    if (m_initialized) {
        m_log.append("\r\nASIO started successfully.\r\n\r\n");
    } else {
        m_log.append("\r\nASIO start FAILED.  Only 32 bit ASIO format supported.\r\n\r\n");
    }
}

void AsioSession::silence() {
    if (!m_initialized) {
        return;
    }
    DriverInfo& info = driverInfo();
    for (int k = 0; k < 2; ++k) {
        const long index = info.inputBuffers + 2L * info.channelPair + k;
        if (index < info.inputBuffers || index >= info.inputBuffers + info.outputBuffers) {
            continue;
        }
        const int bytes = asioSampleBytes(info.channelInfos[index].type);
        if (bytes == 0) {
            continue;
        }
        for (void* half : info.bufferInfos[k].buffers) {
            if (half != nullptr) {
                std::memset(half, 0, static_cast<size_t>(m_bufferSize) * static_cast<size_t>(bytes));
            }
        }
    }
}

AsioSession::~AsioSession() {
    DriverInfo& info = driverInfo();
    if (m_initialized || m_mustStop) {
        // Stop first, then silence: until stop() returns the driver's thread reads these
        // buffers, and writing them under it would race with it. They end silent either way.
        ASIOStop();
        silence();
        if (theAsioDriver.load() != nullptr) {
            ASIODisposeBuffers();
        }
        if (asioDrivers != nullptr) {
            asioDrivers->removeCurrentDriver();
        }
    }
    destroyAsioDrivers();
    m_initialized = false;
    for (int k = 0; k < 2; ++k) {
        info.bufferInfos[k].buffers[0] = info.bufferInfos[k].buffers[1] = nullptr;
    }
}

}  // namespace quoril
