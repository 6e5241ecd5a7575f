#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "asio/Asio.h"

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
// IASIO methods run on the window thread (see asio/Asio.h), except stop(), which the host may also
// call from inside bufferSwitch, i.e. on JACK's process thread.
class JackDriver final : public IASIO {
  public:
    JackDriver();

    unsigned long Release() override;
    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    long getDriverVersion() override;
    void getErrorMessage(char* string) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(long* numInputChannels, long* numOutputChannels) override;
    ASIOError getLatencies(long* inputLatency, long* outputLatency) override;
    ASIOError getBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getClockSources(ASIOClockSource* clocks, long* numSources) override;
    ASIOError setClockSource(long reference) override;
    ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError controlPanel() override;
    ASIOError future(long selector, void* opt) override;
    ASIOError outputReady() override;

  private:
    ~JackDriver() override;

    // JACK's callbacks; arg is the driver.
    static int onProcess(jack_nframes_t frames, void* arg);
    static int onBufferSize(jack_nframes_t frames, void* arg);
    static int onSampleRate(jack_nframes_t rate, void* arg);
    static int onXrun(void* arg);
    static void onShutdown(jack_status_t code, const char* reason, void* arg);

    // Process thread.
    void process(jack_nframes_t frames) noexcept;
    void silence(jack_nframes_t frames) noexcept;

    void deactivate();

    jack_client_t* m_client = nullptr;
    std::string m_error = "No JACK server connection";
    bool m_initialized = false;
    bool m_activated = false;  // window thread

    // Fixed from init() to Release().
    std::vector<jack_port_t*> m_ports;
    std::vector<std::string> m_systemPorts;
    long m_serverFrames = 0;
    double m_rate = 0;

    // The buffers of createBuffers(); fixed until disposeBuffers(), read by the process thread.
    long m_frames = 0;
    std::vector<int32_t> m_halves;
    std::vector<const int32_t*> m_sources[2];  // per channel and half; null = silence

    std::atomic<ASIOCallbacks*> m_callbacks{nullptr};  // also read by the notification thread
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_serverGone{false};
    std::atomic<long> m_half{0};              // process thread
    std::atomic<uint64_t> m_framesPlayed{0};  // process thread
    std::atomic<uint32_t> m_xruns{0};         // notification thread
};

}  // namespace quoril
