#include "AlsaDriver.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "AlsaControlPanel.h"
#include "asio/DriverPlugin.h"
#include "platform/CFormat.h"
#include "platform/ThreadPriority.h"

namespace quoril {

namespace {

constexpr const char* kDriverName = "Quoril ALSA";
constexpr long kDriverVersion = 1;
// The host's half-buffer index is 16 bits wide; larger sizes are never offered.
constexpr long kLargestFrames = 32767;
// A device with a channel range wider than this is a software device (plug, null, ...) that
// takes any count; it is used as stereo.
constexpr unsigned kMostHardwareChannels = 32;
// The rate offered before the host asks for one: the disc rate of most music.
constexpr unsigned kFirstRate = 44100;

void copyText(char* out, size_t size, const std::string& text) {
    std::snprintf(out, size, "%s", text.c_str());
}

// alsa-lib prints its own complaints to stderr; the driver reports through getErrorMessage()
// instead, so they are kept off the player's console while a device is opened and probed.
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

class QuietAlsa {
  public:
    QuietAlsa() { snd_lib_error_set_handler(ignoreAlsaMessage); }
    ~QuietAlsa() { snd_lib_error_set_handler(nullptr); }
};

}  // namespace

AlsaDriver::AlsaDriver() = default;

AlsaDriver::~AlsaDriver() {
    stop();
    disposeBuffers();
    if (m_pcm != nullptr) {
        snd_pcm_close(m_pcm);
    }
}

unsigned long AlsaDriver::Release() {
    delete this;
    return 0;
}

void AlsaDriver::setError(const std::string& text) {
    m_error = text;
}

ASIOBool AlsaDriver::init(void*) {
    if (m_initialized) {
        return ASIOTrue;
    }
    m_settings = AlsaSettings::load();
    QuietAlsa quiet;
    // Blocking mode: the driver thread waits in snd_pcm_writei for room in the device.
    int err = snd_pcm_open(&m_pcm, m_settings.device.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (err < 0) {
        m_pcm = nullptr;
        setError(cformat("Cannot open ALSA device \"%s\": %s", m_settings.device.c_str(), snd_strerror(err)));
        return ASIOFalse;
    }
    if (!probeDevice()) {
        snd_pcm_close(m_pcm);
        m_pcm = nullptr;
        return ASIOFalse;
    }
    readChannelNames();
    m_initialized = true;
    m_error = "No error";
    return ASIOTrue;
}

bool AlsaDriver::restrictParams(snd_pcm_hw_params_t* params) {
    int err = snd_pcm_hw_params_any(m_pcm, params);
    if (err >= 0) {
        err = snd_pcm_hw_params_set_rate_resample(m_pcm, params, 0);
    }
    if (err >= 0) {
        err = snd_pcm_hw_params_set_access(m_pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    }
    if (err >= 0 && m_channels > 0) {
        err = snd_pcm_hw_params_set_format(m_pcm, params, alsaFormatCode(m_format));
        if (err >= 0) {
            err = snd_pcm_hw_params_set_channels(m_pcm, params, static_cast<unsigned>(m_channels));
        }
    }
    if (err < 0) {
        setError(cformat("ALSA device \"%s\" refuses interleaved playback: %s", m_settings.device.c_str(),
                         snd_strerror(err)));
        return false;
    }
    return true;
}

bool AlsaDriver::probeDevice() {
    snd_pcm_hw_params_t* params;
    snd_pcm_hw_params_alloca(&params);
    m_channels = 0;
    if (!restrictParams(params)) {
        return false;
    }

    bool haveFormat = false;
    for (AlsaSampleFormat format : kAlsaFormatPreference) {
        if (snd_pcm_hw_params_test_format(m_pcm, params, alsaFormatCode(format)) == 0) {
            m_format = format;
            haveFormat = true;
            break;
        }
    }
    if (!haveFormat) {
        setError(cformat("ALSA device \"%s\" takes none of S32_LE, S24_LE, S24_3LE, S16_LE",
                         m_settings.device.c_str()));
        return false;
    }

    unsigned minChannels = 0;
    unsigned maxChannels = 0;
    snd_pcm_hw_params_get_channels_min(params, &minChannels);
    snd_pcm_hw_params_get_channels_max(params, &maxChannels);
    unsigned channels = maxChannels <= kMostHardwareChannels ? maxChannels : std::max(minChannels, 2u);
    if (channels < 2 || snd_pcm_hw_params_test_channels(m_pcm, params, channels) != 0) {
        setError(cformat("ALSA device \"%s\" has no stereo output (channels %u to %u)",
                         m_settings.device.c_str(), minChannels, maxChannels));
        return false;
    }
    m_channels = static_cast<int>(channels);
    if (!restrictParams(params)) {
        return false;
    }

    unsigned rate = kFirstRate;
    if (snd_pcm_hw_params_test_rate(m_pcm, params, rate, 0) != 0) {
        int dir = 0;
        if (snd_pcm_hw_params_set_rate_near(m_pcm, params, &rate, &dir) < 0) {
            setError(cformat("ALSA device \"%s\" offers no sample rate", m_settings.device.c_str()));
            return false;
        }
    }
    return rateSupported(rate);
}

bool AlsaDriver::rateSupported(double rate) {
    if (!(rate >= 1.0 && rate <= 4294967295.0) || rate != std::floor(rate)) {
        return false;
    }
    snd_pcm_hw_params_t* params;
    snd_pcm_hw_params_alloca(&params);
    if (!restrictParams(params) ||
        snd_pcm_hw_params_set_rate(m_pcm, params, static_cast<unsigned>(rate), 0) < 0) {
        return false;
    }
    // Half-buffers must fit twice into the device buffer.
    snd_pcm_uframes_t minPeriod = 0;
    snd_pcm_uframes_t maxPeriod = 0;
    snd_pcm_uframes_t maxBuffer = 0;
    int dir = 0;
    snd_pcm_hw_params_get_period_size_min(params, &minPeriod, &dir);
    snd_pcm_hw_params_get_period_size_max(params, &maxPeriod, &dir);
    snd_pcm_hw_params_get_buffer_size_max(params, &maxBuffer);
    const long largest =
        static_cast<long>(std::min<snd_pcm_uframes_t>({maxPeriod, maxBuffer / 2, kLargestFrames}));
    const long smallest = static_cast<long>(std::max<snd_pcm_uframes_t>(minPeriod, 1));
    if (smallest > largest) {
        return false;
    }
    m_rate = rate;
    m_minFrames = smallest;
    m_maxFrames = largest;
    m_preferredFrames = std::clamp(m_settings.bufferSize, smallest, largest);
    return true;
}

void AlsaDriver::readChannelNames() {
    const char* format = alsaFormatName(m_format);
    m_channelNames.clear();
    // Use the device's channel map where it announces one for our channel count.
    snd_pcm_chmap_query_t** maps = snd_pcm_query_chmaps(m_pcm);
    const snd_pcm_chmap_t* map = nullptr;
    for (snd_pcm_chmap_query_t** q = maps; q != nullptr && *q != nullptr; ++q) {
        if (static_cast<int>((*q)->map.channels) == m_channels) {
            map = &(*q)->map;
            break;
        }
    }
    for (int c = 0; c < m_channels; ++c) {
        const char* position = map != nullptr ? snd_pcm_chmap_name(static_cast<snd_pcm_chmap_position>(
                                                    map->pos[c] & SND_CHMAP_POSITION_MASK))
                                              : nullptr;
        if (position != nullptr && map->pos[c] != SND_CHMAP_UNKNOWN && map->pos[c] != SND_CHMAP_NA) {
            m_channelNames.push_back(cformat("%s (%s)", position, format));
        } else {
            m_channelNames.push_back(cformat("Out %d (%s)", c + 1, format));
        }
    }
    if (maps != nullptr) {
        snd_pcm_free_chmaps(maps);
    }
}

void AlsaDriver::getDriverName(char* name) {
    copyText(name, 32, kDriverName);
}

long AlsaDriver::getDriverVersion() {
    return kDriverVersion;
}

void AlsaDriver::getErrorMessage(char* string) {
    copyText(string, 124, m_error);
}

ASIOError AlsaDriver::getChannels(long* numInputChannels, long* numOutputChannels) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (numInputChannels != nullptr) {
        *numInputChannels = 0;
    }
    if (numOutputChannels != nullptr) {
        *numOutputChannels = m_channels;
    }
    return ASE_OK;
}

ASIOError AlsaDriver::getLatencies(long* inputLatency, long* outputLatency) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (inputLatency != nullptr) {
        *inputLatency = 0;
    }
    if (outputLatency != nullptr) {
        *outputLatency =
            m_deviceBufferFrames != 0 ? static_cast<long>(m_deviceBufferFrames) : 2 * m_preferredFrames;
    }
    return ASE_OK;
}

ASIOError AlsaDriver::getBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (minSize != nullptr) {
        *minSize = m_minFrames;
    }
    if (maxSize != nullptr) {
        *maxSize = m_maxFrames;
    }
    if (preferredSize != nullptr) {
        *preferredSize = m_preferredFrames;
    }
    if (granularity != nullptr) {
        *granularity = 1;
    }
    return ASE_OK;
}

ASIOError AlsaDriver::canSampleRate(ASIOSampleRate sampleRate) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    const double rate = m_rate;
    const long minFrames = m_minFrames, maxFrames = m_maxFrames, preferred = m_preferredFrames;
    const bool ok = rateSupported(sampleRate);
    // A question changes nothing.
    m_rate = rate;
    m_minFrames = minFrames;
    m_maxFrames = maxFrames;
    m_preferredFrames = preferred;
    return ok ? ASE_OK : ASE_NoClock;
}

ASIOError AlsaDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (sampleRate == nullptr) {
        return ASE_InvalidParameter;
    }
    *sampleRate = m_rate;
    return ASE_OK;
}

ASIOError AlsaDriver::setSampleRate(ASIOSampleRate sampleRate) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (sampleRate == m_rate) {
        return ASE_OK;
    }
    if (m_running.load(std::memory_order_acquire) || m_thread.joinable()) {
        return ASE_InvalidMode;
    }
    if (!rateSupported(sampleRate)) {
        return ASE_NoClock;
    }
    if (m_frames != 0 && !configureDevice(m_frames)) {
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

ASIOError AlsaDriver::getClockSources(ASIOClockSource* clocks, long* numSources) {
    if (clocks == nullptr || numSources == nullptr) {
        return ASE_InvalidParameter;
    }
    // The device runs on its own clock.
    *clocks = ASIOClockSource{};
    clocks->index = 0;
    clocks->associatedChannel = -1;
    clocks->associatedGroup = -1;
    clocks->isCurrentSource = ASIOTrue;
    copyText(clocks->name, sizeof clocks->name, "Internal");
    *numSources = 1;
    return ASE_OK;
}

ASIOError AlsaDriver::setClockSource(long reference) {
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError AlsaDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    if (!m_running.load(std::memory_order_acquire)) {
        return ASE_SPNotAdvancing;
    }
    if (sPos == nullptr || tStamp == nullptr) {
        return ASE_InvalidParameter;
    }
    const uint64_t frames = m_framesPlayed.load(std::memory_order_relaxed);
    sPos->hi = static_cast<unsigned long>(frames >> 32);
    sPos->lo = static_cast<unsigned long>(frames & 0xffffffffu);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ns = static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
    tStamp->hi = static_cast<unsigned long>(ns >> 32);
    tStamp->lo = static_cast<unsigned long>(ns & 0xffffffffu);
    return ASE_OK;
}

ASIOError AlsaDriver::getChannelInfo(ASIOChannelInfo* info) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (info == nullptr || info->isInput || info->channel < 0 || info->channel >= m_channels) {
        return ASE_InvalidParameter;
    }
    const auto c = static_cast<size_t>(info->channel);
    info->isActive = (!m_sources[0].empty() && m_sources[0][c] != nullptr) ? ASIOTrue : ASIOFalse;
    info->channelGroup = 0;
    info->type = ASIOSTInt32LSB;
    copyText(info->name, sizeof info->name, m_channelNames[c]);
    return ASE_OK;
}

bool AlsaDriver::configureDevice(long frames) {
    snd_pcm_hw_params_t* params;
    snd_pcm_hw_params_alloca(&params);
    if (!restrictParams(params)) {
        return false;
    }
    snd_pcm_uframes_t period = static_cast<snd_pcm_uframes_t>(frames);
    snd_pcm_uframes_t buffer = 2 * period;
    int dir = 0;
    int err = snd_pcm_hw_params_set_rate(m_pcm, params, static_cast<unsigned>(m_rate), 0);
    // Two periods of B frames where the device allows it; otherwise the nearest sizes it takes,
    // which only changes the latency: the thread still hands over B frames at a time.
    if (err >= 0) {
        err = snd_pcm_hw_params_set_period_size_near(m_pcm, params, &period, &dir);
    }
    if (err >= 0) {
        err = snd_pcm_hw_params_set_buffer_size_near(m_pcm, params, &buffer);
    }
    if (err >= 0) {
        err = snd_pcm_hw_params(m_pcm, params);
    }
    if (err < 0) {
        setError(cformat("ALSA device \"%s\" refuses %ld-frame periods at %.0f Hz: %s",
                         m_settings.device.c_str(), frames, m_rate, snd_strerror(err)));
        return false;
    }
    snd_pcm_hw_params_get_buffer_size(params, &buffer);
    m_deviceBufferFrames = buffer;

    snd_pcm_sw_params_t* sw;
    snd_pcm_sw_params_alloca(&sw);
    err = snd_pcm_sw_params_current(m_pcm, sw);
    // Start once the device buffer is full, so the first periods do not underrun.
    if (err >= 0) {
        err = snd_pcm_sw_params_set_start_threshold(m_pcm, sw, buffer);
    }
    if (err >= 0) {
        err = snd_pcm_sw_params_set_avail_min(m_pcm, sw, std::min<snd_pcm_uframes_t>(buffer, frames));
    }
    if (err >= 0) {
        err = snd_pcm_sw_params(m_pcm, sw);
    }
    if (err < 0) {
        setError(cformat("ALSA device \"%s\" refuses its start threshold: %s", m_settings.device.c_str(),
                         snd_strerror(err)));
        return false;
    }
    return true;
}

ASIOError AlsaDriver::createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                    ASIOCallbacks* callbacks) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (m_frames != 0) {
        return ASE_InvalidMode;  // disposeBuffers() first
    }
    if (bufferInfos == nullptr || callbacks == nullptr || callbacks->bufferSwitch == nullptr ||
        callbacks->asioMessage == nullptr || numChannels < 1 || numChannels > m_channels ||
        bufferSize < m_minFrames || bufferSize > m_maxFrames) {
        return ASE_InvalidParameter;
    }
    for (long i = 0; i < numChannels; ++i) {
        const ASIOBufferInfo& b = bufferInfos[i];
        if (b.isInput || b.channelNum < 0 || b.channelNum >= m_channels) {
            return ASE_InvalidParameter;
        }
        for (long j = 0; j < i; ++j) {
            if (bufferInfos[j].channelNum == b.channelNum) {
                return ASE_InvalidParameter;
            }
        }
    }
    if (!configureDevice(bufferSize)) {
        return ASE_HWMalfunction;
    }
    try {
        const size_t frames = static_cast<size_t>(bufferSize);
        m_halves.assign(2 * frames * static_cast<size_t>(numChannels), 0);
        m_period.assign(frames * static_cast<size_t>(m_channels) * alsaBytesPerSample(m_format), 0);
        for (auto& sources : m_sources) {
            sources.assign(static_cast<size_t>(m_channels), nullptr);
        }
    } catch (const std::bad_alloc&) {
        snd_pcm_hw_free(m_pcm);
        m_deviceBufferFrames = 0;
        return ASE_NoMemory;
    }
    for (long i = 0; i < numChannels; ++i) {
        int32_t* base = m_halves.data() + 2 * static_cast<size_t>(i) * static_cast<size_t>(bufferSize);
        const auto channel = static_cast<size_t>(bufferInfos[i].channelNum);
        for (int half = 0; half < 2; ++half) {
            int32_t* buffer = base + half * bufferSize;
            bufferInfos[i].buffers[half] = buffer;
            m_sources[half][channel] = buffer;
        }
    }
    m_callbacks = callbacks;
    m_frames = bufferSize;
    return ASE_OK;
}

ASIOError AlsaDriver::disposeBuffers() {
    if (m_frames == 0) {
        return ASE_InvalidMode;
    }
    stop();
    joinThread();
    snd_pcm_hw_free(m_pcm);
    m_callbacks = nullptr;
    m_frames = 0;
    m_deviceBufferFrames = 0;
    m_halves.clear();
    m_period.clear();
    m_sources[0].clear();
    m_sources[1].clear();
    return ASE_OK;
}

ASIOError AlsaDriver::start() {
    if (m_frames == 0 || m_callbacks == nullptr) {
        return ASE_InvalidMode;
    }
    if (m_running.load(std::memory_order_acquire)) {
        return ASE_OK;
    }
    joinThread();  // a thread that ended by itself (device failure, stop from a callback)
    snd_pcm_drop(m_pcm);
    int err = snd_pcm_prepare(m_pcm);
    if (err < 0) {
        setError(
            cformat("ALSA device \"%s\" cannot start: %s", m_settings.device.c_str(), snd_strerror(err)));
        return ASE_HWMalfunction;
    }
    m_framesPlayed.store(0, std::memory_order_relaxed);
    m_underruns.store(0, std::memory_order_relaxed);
    m_running.store(true, std::memory_order_release);
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        m_running.store(false, std::memory_order_release);
        setError("Cannot start the ALSA driver thread");
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

ASIOError AlsaDriver::stop() {
    const bool wasRunning = m_running.exchange(false, std::memory_order_acq_rel);
    if (m_thread.joinable() && std::this_thread::get_id() == m_thread.get_id()) {
        return ASE_OK;  // from a callback: the thread ends after it returns; joined later
    }
    joinThread();
    if (wasRunning && m_pcm != nullptr) {
        snd_pcm_drop(m_pcm);
    }
    return ASE_OK;
}

void AlsaDriver::joinThread() {
    if (!m_thread.joinable() || std::this_thread::get_id() == m_thread.get_id()) {
        return;
    }
    m_thread.join();
    const uint32_t underruns = m_underruns.load(std::memory_order_relaxed);
    m_error = cformat("Last run: %llu frames played, %u underrun(s) recovered, %s priority",
                      static_cast<unsigned long long>(m_framesPlayed.load(std::memory_order_relaxed)),
                      underruns, m_realtime.load(std::memory_order_relaxed) ? "real-time" : "normal");
    if (underruns > 0) {
        // The host's log is closed to a driver; a user who hears a click finds the count here.
        std::fprintf(stderr, "Quoril ALSA: %s\n", m_error.c_str());
    }
}

void AlsaDriver::run() noexcept {
    m_realtime.store(raiseToRealtimePriority(pthread_self()), std::memory_order_relaxed);
    long half = 0;
    while (m_running.load(std::memory_order_acquire)) {
        m_callbacks->bufferSwitch(half, ASIOTrue);
        if (!m_running.load(std::memory_order_acquire)) {
            break;  // stopped from inside the callback
        }
        interleaveFrames(m_sources[half].data(), m_channels, m_frames, m_format, m_period.data());
        if (!writePeriod()) {
            // The device is gone or broken: nothing more can be played. The host answers the
            // reset request by stopping and releasing the driver.
            m_running.store(false, std::memory_order_release);
            m_callbacks->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
            break;
        }
        m_framesPlayed.fetch_add(static_cast<uint64_t>(m_frames), std::memory_order_relaxed);
        half ^= 1;
    }
}

bool AlsaDriver::writePeriod() noexcept {
    const size_t frameBytes = static_cast<size_t>(m_channels) * alsaBytesPerSample(m_format);
    snd_pcm_uframes_t done = 0;
    const auto total = static_cast<snd_pcm_uframes_t>(m_frames);
    while (done < total) {
        snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, m_period.data() + done * frameBytes, total - done);
        if (n >= 0) {
            done += static_cast<snd_pcm_uframes_t>(n);
            continue;
        }
        if (n == -EAGAIN || n == -EINTR) {
            continue;
        }
        if (n == -EPIPE) {
            // Underrun: the device ran dry. Count it, prepare again and go on with this period.
            m_underruns.fetch_add(1, std::memory_order_relaxed);
            if (snd_pcm_prepare(m_pcm) < 0) {
                return false;
            }
            continue;
        }
        if (n == -ESTRPIPE) {
            // Suspended (system sleep): resume, or prepare where the device cannot resume.
            if (snd_pcm_recover(m_pcm, static_cast<int>(n), 1) < 0) {
                return false;
            }
            continue;
        }
        return false;  // -ENODEV (unplugged), -EBADFD, -EIO: the device has failed
    }
    return true;
}

ASIOError AlsaDriver::controlPanel() {
    showAlsaControlPanel();
    return ASE_OK;
}

ASIOError AlsaDriver::future(long, void*) {
    return ASE_InvalidParameter;
}

// The thread writes each half as soon as bufferSwitch returns, so there is nothing to wait for.
ASIOError AlsaDriver::outputReady() {
    return ASE_NotPresent;
}

}  // namespace quoril

QUORIL_DRIVER_PLUGIN("Quoril ALSA", "{5A0C3E61-7B2D-4F8A-9C41-2E6B8D0F7A13}", quoril::AlsaDriver)
