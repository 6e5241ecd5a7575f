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
constexpr long kDriverVersion = 1;

template <size_t N>
void setText(char (&field)[N], const std::string& text) {
    std::strncpy(field, text.c_str(), N - 1);
    field[N - 1] = '\0';
}

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
            disposeLocked();
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
    m_preferredSize = static_cast<long>(bufferSize.value.value_or(512));
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

void CaptureDriver::getDriverName(char* name) {
    std::strcpy(name, kName);
}

long CaptureDriver::getDriverVersion() {
    return kDriverVersion;
}

void CaptureDriver::getErrorMessage(char* string) {
    std::strncpy(string, m_error.c_str(), 123);
    string[123] = '\0';
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
    bool started = m_clock.start(m_callbacks, m_useTimeInfo, m_bufferSize, m_rate, m_speed,
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
    const Buffer* left = m_left >= 0 ? &m_buffers[static_cast<size_t>(m_left)] : nullptr;
    const Buffer* right = m_right >= 0 ? &m_buffers[static_cast<size_t>(m_right)] : nullptr;
    for (long frame = 0; frame < m_bufferSize; ++frame) {
        sampleAt(left, half, frame, m_interleaved[static_cast<size_t>(2 * frame)]);
        sampleAt(right, half, frame, m_interleaved[static_cast<size_t>(2 * frame + 1)]);
    }
    m_wav.append(m_interleaved.data(), static_cast<size_t>(m_bufferSize));
    if (m_stoppedFromCallback.load()) {
        m_wav.complete();
    }
}

// The file holds 32-bit words: 32-bit types are copied as they are, 16 and 24-bit little-endian
// integers are widened to the top of the word, anything else records silence.
void CaptureDriver::sampleAt(const Buffer* buffer, long half, long frame, int32_t& out) const noexcept {
    out = 0;
    if (buffer == nullptr) {
        return;
    }
    const int bytes = asioSampleBytes(m_sampleType);
    const unsigned char* at = buffer->storage.data() +
                              (static_cast<size_t>(half) * static_cast<size_t>(m_bufferSize) + frame) * bytes;
    if (bytes == 4) {
        std::memcpy(&out, at, 4);
    } else if (m_sampleType == ASIOSTInt16LSB) {
        out = static_cast<int32_t>(static_cast<uint32_t>(at[0]) << 16 | static_cast<uint32_t>(at[1]) << 24);
    } else if (m_sampleType == ASIOSTInt24LSB) {
        out = static_cast<int32_t>(static_cast<uint32_t>(at[0]) << 8 | static_cast<uint32_t>(at[1]) << 16 |
                                   static_cast<uint32_t>(at[2]) << 24);
    }
}

ASIOError CaptureDriver::getChannels(long* numInputChannels, long* numOutputChannels) {
    *numInputChannels = m_inputs;
    *numOutputChannels = m_outputs;
    return ASE_OK;
}

ASIOError CaptureDriver::getLatencies(long* inputLatency, long* outputLatency) {
    const long size = hasBuffers() ? m_bufferSize : m_preferredSize;
    *inputLatency = size;
    *outputLatency = size;
    return ASE_OK;
}

ASIOError CaptureDriver::getBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) {
    *minSize = std::min<long>(64, m_preferredSize);
    *maxSize = std::max<long>(8192, m_preferredSize);
    *preferredSize = m_preferredSize;
    *granularity = 1;
    return ASE_OK;
}

ASIOError CaptureDriver::canSampleRate(ASIOSampleRate sampleRate) {
    return sampleRate > 0.0 && std::isfinite(sampleRate) ? ASE_OK : ASE_NoClock;
}

ASIOError CaptureDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    *sampleRate = m_rate;
    return ASE_OK;
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

ASIOError CaptureDriver::getClockSources(ASIOClockSource* clocks, long* numSources) {
    if (clocks == nullptr || numSources == nullptr || *numSources < 1) {
        if (numSources != nullptr) {
            *numSources = 1;
        }
        return ASE_InvalidParameter;
    }
    std::memset(clocks, 0, sizeof *clocks);
    clocks->index = 0;
    clocks->associatedChannel = -1;
    clocks->associatedGroup = -1;
    clocks->isCurrentSource = ASIOTrue;
    setText(clocks->name, "Internal");
    *numSources = 1;
    return ASE_OK;
}

ASIOError CaptureDriver::setClockSource(long reference) {
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError CaptureDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    if (!m_clock.running()) {
        return ASE_SPNotAdvancing;
    }
    const uint64_t position = m_clock.samplePosition();
    const uint64_t stamp = m_clock.lastSwitchNanoseconds();
    sPos->hi = static_cast<unsigned long>(position >> 32);
    sPos->lo = static_cast<unsigned long>(position & 0xffffffffu);
    tStamp->hi = static_cast<unsigned long>(stamp >> 32);
    tStamp->lo = static_cast<unsigned long>(stamp & 0xffffffffu);
    return ASE_OK;
}

ASIOError CaptureDriver::getChannelInfo(ASIOChannelInfo* info) {
    const long count = info->isInput ? m_inputs : m_outputs;
    if (info->channel < 0 || info->channel >= count) {
        return ASE_InvalidParameter;
    }
    info->isActive = ASIOFalse;
    for (const Buffer& buffer : m_buffers) {
        if (buffer.isInput == (info->isInput != ASIOFalse) && buffer.channel == info->channel) {
            info->isActive = ASIOTrue;
        }
    }
    info->channelGroup = 0;
    info->type = m_sampleType;
    char name[32];
    std::snprintf(name, sizeof name, info->isInput ? "Capture Input %ld" : "Capture %ld", info->channel + 1);
    setText(info->name, name);
    return ASE_OK;
}

ASIOError CaptureDriver::createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                       ASIOCallbacks* callbacks) {
    if (hasBuffers()) {
        return ASE_InvalidMode;
    }
    if (bufferInfos == nullptr || numChannels <= 0 || numChannels > m_inputs + m_outputs || bufferSize <= 0 ||
        bufferSize > kMaxBufferSize || callbacks == nullptr || callbacks->bufferSwitch == nullptr) {
        return ASE_InvalidParameter;
    }
    for (long i = 0; i < numChannels; ++i) {
        const ASIOBufferInfo& wanted = bufferInfos[i];
        const long count = wanted.isInput ? m_inputs : m_outputs;
        if (wanted.channelNum < 0 || wanted.channelNum >= count) {
            return ASE_InvalidParameter;
        }
        for (long j = 0; j < i; ++j) {
            if ((bufferInfos[j].isInput != ASIOFalse) == (wanted.isInput != ASIOFalse) &&
                bufferInfos[j].channelNum == wanted.channelNum) {
                return ASE_InvalidParameter;
            }
        }
    }
    const int bytes = asioSampleBytes(m_sampleType) > 0 ? asioSampleBytes(m_sampleType) : 4;
    std::vector<Buffer> made;
    std::vector<int32_t> interleaved;
    try {
        made.resize(static_cast<size_t>(numChannels));
        for (long i = 0; i < numChannels; ++i) {
            made[static_cast<size_t>(i)].isInput = bufferInfos[i].isInput != ASIOFalse;
            made[static_cast<size_t>(i)].channel = bufferInfos[i].channelNum;
            made[static_cast<size_t>(i)].storage.assign(2 * static_cast<size_t>(bufferSize) * bytes, 0);
        }
        interleaved.assign(2 * static_cast<size_t>(bufferSize), 0);
    } catch (const std::bad_alloc&) {
        return ASE_NoMemory;
    }
    m_buffers = std::move(made);
    m_interleaved = std::move(interleaved);
    m_bufferSize = bufferSize;
    m_left = m_right = -1;
    for (long i = 0; i < numChannels; ++i) {
        Buffer& buffer = m_buffers[static_cast<size_t>(i)];
        bufferInfos[i].buffers[0] = buffer.storage.data();
        bufferInfos[i].buffers[1] = buffer.storage.data() + static_cast<size_t>(bufferSize) * bytes;
        if (!buffer.isInput) {
            if (m_left < 0) {
                m_left = static_cast<int>(i);
            } else if (m_right < 0) {
                m_right = static_cast<int>(i);
            }
        }
    }
    m_callbacks = *callbacks;
    m_useTimeInfo = false;
    if (callbacks->asioMessage != nullptr && callbacks->bufferSwitchTimeInfo != nullptr &&
        callbacks->asioMessage(kAsioSelectorSupported, kAsioSupportsTimeInfo, nullptr, nullptr) == 1 &&
        callbacks->asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1) {
        m_useTimeInfo = true;
    }
    return ASE_OK;
}

ASIOError CaptureDriver::disposeBuffers() {
    std::lock_guard<std::mutex> lock(m_control);
    if (!hasBuffers()) {
        return ASE_InvalidMode;
    }
    disposeLocked();
    return ASE_OK;
}

void CaptureDriver::disposeLocked() {
    stopLocked();
    m_clock.join();
    m_wav.close();
    m_buffers.clear();
    m_interleaved.clear();
    m_left = m_right = -1;
    m_bufferSize = 0;
    m_callbacks = ASIOCallbacks{};
}

ASIOError CaptureDriver::controlPanel() {
    return ASE_OK;
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
