#pragma once

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "AlsaSampleFormat.h"
#include "AlsaSettings.h"
#include "asio/PluginDriver.h"

namespace quoril {

// "Quoril ALSA": plays through one ALSA PCM, opened for the whole life of the driver object so no
// other program can mix into it. Every channel is presented as Int32LSB; the driver itself narrows
// to the widest format the device takes (S32_LE, S24_LE, S24_3LE, S16_LE), and asks ALSA for no
// resampling, so the device receives exactly the host's bits.
//
// Its own thread calls bufferSwitch once per half-buffer of B frames, alternating the halves, and
// writes the half just filled into the device, which is configured for two periods of B frames
// (or the nearest it allows). The write blocks until the device has room, which paces the host.
// An underrun is recovered and counted; a device that fails (unplugged) ends the thread with a
// reset request through asioMessage.
//
// IASIO methods run on the window thread (see asio/Asio.h), except stop(), which the host may
// also call from inside a callback.
class AlsaDriver final : public PluginDriver {
  public:
    AlsaDriver();

    unsigned long Release() override;
    ASIOBool init(void* sysHandle) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getLatencies(long* inputLatency, long* outputLatency) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
    ASIOError controlPanel() override;

  private:
    ~AlsaDriver() override;

    ASIOError buffersMade(long frames) override;
    void releaseBuffers() override;
    std::string channelName(bool isInput, long channel) const override;

    // Reads what the device can do at the current rate: channels, format, period sizes.
    bool probeDevice();
    // Hardware parameters restricted to what the driver always uses (interleaved access, the
    // chosen format and channel count, no resampling). False with the ALSA error in m_error.
    bool restrictParams(snd_pcm_hw_params_t* params);
    bool rateSupported(double rate);
    // Installs hardware and software parameters for half-buffers of `frames` frames.
    bool configureDevice(long frames);
    void readChannelNames();
    void joinThread();

    // Driver thread.
    void run() noexcept;
    // Writes one period; false when the device has failed beyond recovery.
    bool writePeriod() noexcept;

    AlsaSettings m_settings;
    snd_pcm_t* m_pcm = nullptr;

    // What the device takes (its channel count is m_outputs); set by init() on the window thread.
    AlsaSampleFormat m_format = AlsaSampleFormat::S32LE;
    std::vector<std::string> m_channelNames;

    // Made with the buffers; fixed until disposeBuffers(), read by the driver thread.
    snd_pcm_uframes_t m_deviceBufferFrames = 0;  // what the device granted
    std::vector<uint8_t> m_period;               // one interleaved device period

    std::thread m_thread;  // assigned and joined on the control thread only
    // The driver thread's id, stored by the thread itself: a stop() from inside a callback may
    // run before start() has finished assigning m_thread. Cleared after the join.
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_running{false};       // set by start(), cleared by stop() or the thread
    std::atomic<uint64_t> m_framesPlayed{0};  // written by the driver thread
    std::atomic<uint32_t> m_underruns{0};     // written by the driver thread
    std::atomic<bool> m_realtime{false};      // the driver thread got real-time priority
};

}  // namespace quoril
