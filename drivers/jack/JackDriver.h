#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "asio/PluginDriver.h"

namespace quoril {

// "Quoril JACK": a JACK client named "Quoril" with one output port per system playback port
// (at least two), connected to them when started. The server's rate and buffer size are the
// driver's; neither can be changed from here. Channels are presented as Int32LSB and converted to
// JACK's floats in the process callback, which calls bufferSwitch once per JACK period with the
// halves alternating and plays the half just filled.
//
// A server shutdown reaches the host as a reset request, a new server buffer size as a
// buffer-size change and a new server rate through sampleRateDidChange, each from JACK's
// notification thread.
//
// IASIO methods run on the window thread (see asio/Asio.h), except stop(), which any thread may
// call, several at once, the host also from inside bufferSwitch, i.e. on JACK's process thread.
// The process callback and the notices read only atomics and never lock.
class JackDriver final : public PluginDriver {
  public:
    JackDriver();

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
    ~JackDriver() override;

    ASIOError buffersMade(long) override { return ASE_OK; }
    void releaseBuffers() override;
    std::string channelName(bool isInput, long channel) const override;

    // JACK's callbacks; arg is the driver.
    static int onProcess(jack_nframes_t frames, void* arg);
    static int onBufferSize(jack_nframes_t frames, void* arg);
    static int onSampleRate(jack_nframes_t rate, void* arg);
    static int onXrun(void* arg);
    static void onShutdown(jack_status_t code, const char* reason, void* arg);

    // Process thread.
    void process(jack_nframes_t frames) noexcept;
    void silence(jack_nframes_t frames) noexcept;

    // Takes the client out of the graph; any thread but the process thread.
    void deactivate();

    jack_client_t* m_client = nullptr;
    // Changed under m_control only (start() and whichever thread stops), read by anyone.
    std::atomic<bool> m_activated{false};
    // The rate the server ran at when we connected; read by the rate notice.
    std::atomic<double> m_serverRate{0};

    // Fixed from init() to Release(); the server's period is m_preferredFrames.
    std::vector<jack_port_t*> m_ports;
    std::vector<std::string> m_systemPorts;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_serverGone{false};
    std::atomic<long> m_half{0};              // process thread
    std::atomic<uint64_t> m_framesPlayed{0};  // process thread
    std::atomic<uint32_t> m_xruns{0};         // notification thread
};

}  // namespace quoril
