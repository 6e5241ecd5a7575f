#include "CaptureDriver.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>

#include "asio/DriverPlugin.h"
#include "platform/CFormat.h"
#include "platform/Registry.h"

namespace quoril {

namespace {

constexpr long kMaxChannels = 256;
constexpr long kMaxBufferSize = 32768;

// A number from a dword or text value; nothing when the value is absent; false when it is there
// but does not read as a number.
bool readNumber(const Registry& registry, const std::string& key, const char* name,
                std::optional<double>& out) {
    out.reset();
    std::optional<Registry::Value> value = registry.value(key, name);
    if (!value) {
        return true;
    }
    if (value->type == Registry::Type::Dword) {
        out = static_cast<double>(value->dword);
        return true;
    }
    char* end = nullptr;
    double number = cstrtod(value->text.c_str(), &end);
    if (end == value->text.c_str() || !std::isfinite(number)) {
        return false;
    }
    out = number;
    return true;
}

}  // namespace

CaptureDriver::~CaptureDriver() {
    m_clock.stop();
    m_wav.close();
}

unsigned long CaptureDriver::Release() {
    {
        std::lock_guard<std::mutex> lock(m_control);
        stopLocked();
        if (hasBuffers()) {
            PluginDriver::disposeBuffers();
        }
    }
    delete this;
    return 0;
}

bool CaptureDriver::readConfiguration() {
    Registry registry;
    registry.loadDefault();
    const std::string key = std::string("HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\") + kName;

    if (std::optional<std::string> file = registry.stringValue(key, "File"); file && !file->empty()) {
        m_file = *file;
    }
    struct Setting {
        const char* name;
        double minimum;
        double maximum;
        bool whole;
        std::optional<double> value;
    };
    Setting speed{"Speed", 1e-3, 1e6, false, {}};
    Setting outputs{"Outputs", 0, kMaxChannels, true, {}};
    Setting inputs{"Inputs", 0, kMaxChannels, true, {}};
    Setting bufferSize{"BufferSize", 1, kMaxBufferSize, true, {}};
    Setting rate{"Rate", 1, 1e7, false, {}};
    Setting sampleType{"SampleType", 0, 1000, true, {}};
    for (Setting* setting : {&speed, &outputs, &inputs, &bufferSize, &rate, &sampleType}) {
        if (!readNumber(registry, key, setting->name, setting->value) ||
            (setting->value && (*setting->value < setting->minimum || *setting->value > setting->maximum ||
                                (setting->whole && *setting->value != std::floor(*setting->value))))) {
            m_error = std::string("Invalid value for \"") + setting->name + "\" in the driver settings";
            return false;
        }
    }
    m_speed = speed.value.value_or(1.0);
    m_outputs = static_cast<long>(outputs.value.value_or(2));
    m_inputs = static_cast<long>(inputs.value.value_or(0));
    m_preferredFrames = static_cast<long>(bufferSize.value.value_or(512));
    m_minFrames = std::min<long>(64, m_preferredFrames);
    m_maxFrames = std::max<long>(8192, m_preferredFrames);
    m_rate = rate.value.value_or(44100.0);
    m_sampleType = static_cast<long>(sampleType.value.value_or(ASIOSTInt32LSB));
    return true;
}

ASIOBool CaptureDriver::init(void*) {
    if (m_initialized) {
        return ASIOTrue;
    }
    m_error.clear();
    m_initialized = readConfiguration();
    return m_initialized ? ASIOTrue : ASIOFalse;
}

ASIOError CaptureDriver::start() {
    if (m_clock.onClockThread()) {
        return ASE_InvalidMode;
    }
    std::lock_guard<std::mutex> lock(m_control);
    if (!hasBuffers()) {
        return ASE_InvalidMode;
    }
    if (m_clock.running() && !m_stoppedFromCallback.load()) {
        return ASE_OK;
    }
    m_clock.stop();  // joins a thread the host stopped from inside its callback
    if (!m_wav.isOpen() && !m_wav.open(m_file, static_cast<uint32_t>(std::lround(m_rate)))) {
        m_error = m_wav.error();
        return ASE_HWMalfunction;
    }
    m_stoppedFromCallback.store(false);
    bool started = m_clock.start(*m_callbacks.load(), m_useTimeInfo, bufferFrames(), m_rate, m_speed,
                                 [this](long half, uint64_t) { writeHalf(half); });
    return started ? ASE_OK : ASE_HWMalfunction;
}

ASIOError CaptureDriver::stop() {
    if (m_clock.onClockThread()) {
        // The host stops us from inside its callback: the clock ends after this switch, and
        // writeHalf() completes the header once it has written the half.
        m_stoppedFromCallback.store(true);
        m_clock.stop();
        return ASE_OK;
    }
    std::lock_guard<std::mutex> lock(m_control);
    stopLocked();
    return ASE_OK;
}

void CaptureDriver::stopLocked() {
    m_clock.stop();
    if (m_wav.isOpen()) {
        m_wav.complete();
    }
}

void CaptureDriver::writeHalf(long half) noexcept {
    for (long frame = 0; frame < bufferFrames(); ++frame) {
        sampleAt(m_left, half, frame, m_interleaved[static_cast<size_t>(2 * frame)]);
        sampleAt(m_right, half, frame, m_interleaved[static_cast<size_t>(2 * frame + 1)]);
    }
    m_wav.append(m_interleaved.data(), static_cast<size_t>(bufferFrames()));
    if (m_stoppedFromCallback.load()) {
        m_wav.complete();
    }
}

// The file holds 32-bit words: 32-bit types are copied as they are, 16 and 24-bit little-endian
// integers are widened to the top of the word, anything else records silence.
void CaptureDriver::sampleAt(const HostBuffer* buffer, long half, long frame, int32_t& out) const noexcept {
    out = 0;
    if (buffer == nullptr) {
        return;
    }
    const int bytes = asioSampleBytes(m_sampleType);
    const auto* at =
        reinterpret_cast<const unsigned char*>(buffer->halves[half]) + static_cast<size_t>(frame) * bytes;
    if (bytes == 4) {
        std::memcpy(&out, at, 4);
    } else if (m_sampleType == ASIOSTInt16LSB) {
        out = static_cast<int32_t>(static_cast<uint32_t>(at[0]) << 16 | static_cast<uint32_t>(at[1]) << 24);
    } else if (m_sampleType == ASIOSTInt24LSB) {
        out = static_cast<int32_t>(static_cast<uint32_t>(at[0]) << 8 | static_cast<uint32_t>(at[1]) << 16 |
                                   static_cast<uint32_t>(at[2]) << 24);
    }
}

ASIOError CaptureDriver::getLatencies(long* inputLatency, long* outputLatency) {
    const long size = hasBuffers() ? bufferFrames() : m_preferredFrames;
    *inputLatency = size;
    *outputLatency = size;
    return ASE_OK;
}

ASIOError CaptureDriver::canSampleRate(ASIOSampleRate sampleRate) {
    return sampleRate > 0.0 && std::isfinite(sampleRate) ? ASE_OK : ASE_NoClock;
}

ASIOError CaptureDriver::setSampleRate(ASIOSampleRate sampleRate) {
    if (canSampleRate(sampleRate) != ASE_OK) {
        return ASE_NoClock;
    }
    std::lock_guard<std::mutex> lock(m_control);
    if (m_clock.running()) {
        return ASE_InvalidMode;
    }
    if (sampleRate != m_rate && m_wav.isOpen()) {
        m_clock.join();
        m_wav.close();
    }
    m_rate = sampleRate;
    return ASE_OK;
}

ASIOError CaptureDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    return reportPosition(m_clock.running(), m_clock.samplePosition(), m_clock.lastSwitchNanoseconds(), sPos,
                          tStamp);
}

std::string CaptureDriver::channelName(bool isInput, long channel) const {
    return cformat(isInput ? "Capture Input %ld" : "Capture %ld", channel + 1);
}

ASIOError CaptureDriver::buffersMade(long frames) {
    try {
        m_interleaved.assign(2 * static_cast<size_t>(frames), 0);
    } catch (const std::bad_alloc&) {
        return ASE_NoMemory;
    }
    m_left = m_right = nullptr;
    for (const HostBuffer& buffer : hostBuffers()) {
        if (buffer.isInput) {
            continue;
        }
        if (m_left == nullptr) {
            m_left = &buffer;
        } else if (m_right == nullptr) {
            m_right = &buffer;
        }
    }
    m_useTimeInfo = DriverClock::hostWantsTimeInfo(*m_callbacks.load());
    return ASE_OK;
}

ASIOError CaptureDriver::disposeBuffers() {
    std::lock_guard<std::mutex> lock(m_control);
    return PluginDriver::disposeBuffers();
}

// With m_control held.
void CaptureDriver::releaseBuffers() {
    stopLocked();
    m_clock.join();
    m_wav.close();
    m_interleaved.clear();
    m_left = m_right = nullptr;
}

ASIOError CaptureDriver::future(long selector, void*) {
    switch (selector) {
        case kAsioEnableTimeCodeRead:
        case kAsioDisableTimeCodeRead:
        case kAsioCanTimeInfo:
            return ASE_SUCCESS;
        default:
            return ASE_InvalidParameter;
    }
}

ASIOError CaptureDriver::outputReady() {
    m_outputReadyCalls.fetch_add(1, std::memory_order_relaxed);
    return ASE_OK;
}

}  // namespace quoril

QUORIL_DRIVER_PLUGIN(quoril::CaptureDriver::kName, quoril::CaptureDriver::kClassId, quoril::CaptureDriver)
