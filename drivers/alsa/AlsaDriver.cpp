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
// The host's half-buffer index is 16 bits wide; larger sizes are never offered.
constexpr long kLargestFrames = 32767;
// A device with a channel range wider than this is a software device (plug, null, ...) that
// takes any count; it is used as stereo.
constexpr unsigned kMostHardwareChannels = 32;
// The rate offered before the host asks for one: the disc rate of most music.
constexpr unsigned kFirstRate = 44100;
// The longest the I/O thread waits for room in the device before it looks at the stop flag.
constexpr int kRoomWaitMs = 20;

// alsa-lib prints its own complaints to stderr; the driver reports through getErrorMessage()
// instead, so they are kept off the player's console while a device is opened and probed.
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

class QuietAlsa {
  public:
    QuietAlsa() { snd_lib_error_set_handler(ignoreAlsaMessage); }
    ~QuietAlsa() { snd_lib_error_set_handler(nullptr); }
};

}  // namespace

AlsaDriver::AlsaDriver() : PluginDriver(kDriverName, "Internal") {
    m_error = "No ALSA device opened";
}

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
        m_error = cformat("Cannot open ALSA device \"%s\": %s", m_settings.device.c_str(), snd_strerror(err));
        return ASIOFalse;
    }
    if (!probeDevice()) {
        snd_pcm_close(m_pcm);
        m_pcm = nullptr;
        return ASIOFalse;
    }
    readChannelNames();
    // The I/O thread waits for room with a timeout (snd_pcm_wait), never inside a write, so a
    // stop() returns promptly even when the device stalls.
    snd_pcm_nonblock(m_pcm, 1);
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
    if (err >= 0 && m_outputs > 0) {
        err = snd_pcm_hw_params_set_format(m_pcm, params, alsaFormatCode(m_format));
        if (err >= 0) {
            err = snd_pcm_hw_params_set_channels(m_pcm, params, static_cast<unsigned>(m_outputs));
        }
    }
    if (err < 0) {
        m_error = cformat("ALSA device \"%s\" refuses interleaved playback: %s", m_settings.device.c_str(),
                          snd_strerror(err));
        return false;
    }
    return true;
}

bool AlsaDriver::probeDevice() {
    snd_pcm_hw_params_t* params;
    snd_pcm_hw_params_alloca(&params);
    m_outputs = 0;
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
        m_error = cformat("ALSA device \"%s\" takes none of S32_LE, S24_LE, S24_3LE, S16_LE",
                          m_settings.device.c_str());
        return false;
    }

    unsigned minChannels = 0;
    unsigned maxChannels = 0;
    snd_pcm_hw_params_get_channels_min(params, &minChannels);
    snd_pcm_hw_params_get_channels_max(params, &maxChannels);
    unsigned channels = maxChannels <= kMostHardwareChannels ? maxChannels : std::max(minChannels, 2u);
    if (channels < 2 || snd_pcm_hw_params_test_channels(m_pcm, params, channels) != 0) {
        m_error = cformat("ALSA device \"%s\" has no stereo output (channels %u to %u)",
                          m_settings.device.c_str(), minChannels, maxChannels);
        return false;
    }
    m_outputs = static_cast<long>(channels);
    if (!restrictParams(params)) {
        return false;
    }

    unsigned rate = kFirstRate;
    if (snd_pcm_hw_params_test_rate(m_pcm, params, rate, 0) != 0) {
        int dir = 0;
        if (snd_pcm_hw_params_set_rate_near(m_pcm, params, &rate, &dir) < 0) {
            m_error = cformat("ALSA device \"%s\" offers no sample rate", m_settings.device.c_str());
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
        if (static_cast<int>((*q)->map.channels) == m_outputs) {
            map = &(*q)->map;
            break;
        }
    }
    for (int c = 0; c < m_outputs; ++c) {
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

ASIOError AlsaDriver::setSampleRate(ASIOSampleRate sampleRate) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (sampleRate == m_rate) {
        return ASE_OK;
    }
    {
        std::lock_guard lock(m_control);
        if (m_running.load(std::memory_order_acquire) || m_thread.joinable()) {
            return ASE_InvalidMode;
        }
    }
    if (!rateSupported(sampleRate)) {
        return ASE_NoClock;
    }
    if (hasBuffers() && !configureDevice(bufferFrames())) {
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

ASIOError AlsaDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    return reportPosition(m_running.load(std::memory_order_acquire),
                          m_framesPlayed.load(std::memory_order_relaxed), steadyNanoseconds(), sPos, tStamp);
}

std::string AlsaDriver::channelName(bool, long channel) const {
    return m_channelNames[static_cast<size_t>(channel)];
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
        m_error = cformat("ALSA device \"%s\" refuses %ld-frame periods at %.0f Hz: %s",
                          m_settings.device.c_str(), frames, m_rate, snd_strerror(err));
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
        m_error = cformat("ALSA device \"%s\" refuses its start threshold: %s", m_settings.device.c_str(),
                          snd_strerror(err));
        return false;
    }
    return true;
}

ASIOError AlsaDriver::buffersMade(long frames) {
    if (!configureDevice(frames)) {
        return ASE_HWMalfunction;
    }
    try {
        m_period.assign(
            static_cast<size_t>(frames) * static_cast<size_t>(m_outputs) * alsaBytesPerSample(m_format), 0);
    } catch (const std::bad_alloc&) {
        snd_pcm_hw_free(m_pcm);
        m_deviceBufferFrames = 0;
        return ASE_NoMemory;
    }
    return ASE_OK;
}

void AlsaDriver::releaseBuffers() {
    stop();
    joinThread();
    snd_pcm_hw_free(m_pcm);
    m_deviceBufferFrames = 0;
    m_period.clear();
}

ASIOError AlsaDriver::start() {
    if (!hasBuffers()) {
        return ASE_InvalidMode;
    }
    if (m_running.load(std::memory_order_acquire)) {
        return ASE_OK;
    }
    joinThread();  // a thread that ended by itself (device failure, stop from a callback)
    std::lock_guard lock(m_control);
    if (m_thread.joinable()) {
        return ASE_InvalidMode;  // another thread started one meanwhile
    }
    snd_pcm_drop(m_pcm);
    int err = snd_pcm_prepare(m_pcm);
    if (err < 0) {
        m_error =
            cformat("ALSA device \"%s\" cannot start: %s", m_settings.device.c_str(), snd_strerror(err));
        return ASE_HWMalfunction;
    }
    m_framesPlayed.store(0, std::memory_order_relaxed);
    m_underruns.store(0, std::memory_order_relaxed);
    m_running.store(true, std::memory_order_release);
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        m_running.store(false, std::memory_order_release);
        m_error = "Cannot start the ALSA driver thread";
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

ASIOError AlsaDriver::stop() {
    m_running.store(false, std::memory_order_release);
    if (std::this_thread::get_id() == m_threadId.load(std::memory_order_acquire)) {
        return ASE_OK;  // from a callback: the thread ends after it returns; joined later
    }
    // The I/O thread sees the cleared flag within one wait for room (kRoomWaitMs) or after the
    // callback it is in (a reset notice pauses there), so the join is short.
    joinThread();
    return ASE_OK;
}

void AlsaDriver::joinThread() {
    // One joiner at a time: a teardown and a playback thread ending on a reset may both stop.
    std::lock_guard lock(m_control);
    if (!m_thread.joinable() || std::this_thread::get_id() == m_thread.get_id()) {
        return;
    }
    m_thread.join();
    m_threadId.store(std::thread::id(), std::memory_order_release);
    if (m_pcm != nullptr) {
        snd_pcm_drop(m_pcm);  // what was queued for the device goes: playback ends now
    }
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
    m_threadId.store(std::this_thread::get_id(), std::memory_order_release);
    // One step above the playback thread: a long fill must not hold off the device.
    m_realtime.store(raiseToRealtimePriority(pthread_self(), 1), std::memory_order_relaxed);
    ASIOCallbacks* callbacks = m_callbacks.load(std::memory_order_acquire);
    const long frames = bufferFrames();
    long half = 0;
    while (m_running.load(std::memory_order_acquire)) {
        callbacks->bufferSwitch(half, ASIOTrue);
        if (!m_running.load(std::memory_order_acquire)) {
            break;  // stopped from inside the callback
        }
        interleaveFrames(outputHalves(half), static_cast<int>(m_outputs), frames, m_format, m_period.data());
        if (!writePeriod()) {
            if (!m_running.load(std::memory_order_acquire)) {
                break;  // stopped while waiting for room
            }
            // The device is gone or broken: nothing more can be played. The host answers the
            // reset request by stopping and releasing the driver.
            m_running.store(false, std::memory_order_release);
            callbacks->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
            break;
        }
        m_framesPlayed.fetch_add(static_cast<uint64_t>(frames), std::memory_order_relaxed);
        half ^= 1;
    }
}

bool AlsaDriver::writePeriod() noexcept {
    const size_t frameBytes = static_cast<size_t>(m_outputs) * alsaBytesPerSample(m_format);
    snd_pcm_uframes_t done = 0;
    const auto total = static_cast<snd_pcm_uframes_t>(bufferFrames());
    while (done < total) {
        snd_pcm_sframes_t n = snd_pcm_writei(m_pcm, m_period.data() + done * frameBytes, total - done);
        if (n >= 0) {
            done += static_cast<snd_pcm_uframes_t>(n);
            continue;
        }
        if (n == -EAGAIN) {
            // No room yet: wait for it, but only so long that a stop() is seen promptly. An
            // error here (an underrun) is reported again by the next write and handled there.
            snd_pcm_wait(m_pcm, kRoomWaitMs);
            if (!m_running.load(std::memory_order_acquire)) {
                return false;
            }
            continue;
        }
        if (n == -EINTR) {
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

}  // namespace quoril

QUORIL_DRIVER_PLUGIN("Quoril ALSA", "{5A0C3E61-7B2D-4F8A-9C41-2E6B8D0F7A13}", quoril::AlsaDriver)
