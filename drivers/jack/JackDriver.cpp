#include "JackDriver.h"

#include <time.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "JackSampleConversion.h"
#include "asio/DriverPlugin.h"
#include "platform/CFormat.h"

namespace quoril {

namespace {

constexpr const char* kDriverName = "Quoril JACK";
constexpr const char* kClientName = "Quoril";

// Set while the process callback runs on this thread, so that stop() from inside bufferSwitch
// does not deactivate the client from its own process thread (which would deadlock).
thread_local bool t_inProcess = false;

// libjack prints its own messages to stderr (a missing server, a lost connection); the driver
// reports through getErrorMessage() and asioMessage() instead, so they stay off the console.
void ignoreJackMessage(const char*) {}

}  // namespace

JackDriver::JackDriver() : PluginDriver(kDriverName, "JACK server") {
    m_error = "No JACK server connection";
}

JackDriver::~JackDriver() {
    stop();
    disposeBuffers();
    if (m_client != nullptr) {
        jack_client_close(m_client);
    }
    // libjack's defaults again: nothing of libjack may point into a plug-in that can be unloaded.
    jack_set_error_function(nullptr);
    jack_set_info_function(nullptr);
}

unsigned long JackDriver::Release() {
    delete this;
    return 0;
}

ASIOBool JackDriver::init(void*) {
    if (m_initialized) {
        return ASIOTrue;
    }
    jack_set_error_function(ignoreJackMessage);
    jack_set_info_function(ignoreJackMessage);
    jack_status_t status{};
    // Never start a server behind the user's back: a JACK or PipeWire server must be running.
    m_client = jack_client_open(kClientName, JackNoStartServer, &status);
    if (m_client == nullptr) {
        m_error = cformat("Cannot connect to a JACK server (status 0x%x)", static_cast<unsigned>(status));
        return ASIOFalse;
    }
    m_rate = jack_get_sample_rate(m_client);
    m_serverRate.store(m_rate, std::memory_order_release);
    // The server's period is the only size there is.
    m_preferredFrames = m_minFrames = m_maxFrames = static_cast<long>(jack_get_buffer_size(m_client));
    m_granularity = 0;

    const char** ports =
        jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    for (const char** p = ports; p != nullptr && *p != nullptr; ++p) {
        m_systemPorts.emplace_back(*p);
    }
    if (ports != nullptr) {
        jack_free(ports);
    }
    const size_t channels = m_systemPorts.size() < 2 ? 2 : m_systemPorts.size();
    for (size_t c = 0; c < channels; ++c) {
        const std::string name = cformat("out_%zu", c + 1);
        jack_port_t* port = jack_port_register(m_client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                               JackPortIsOutput | JackPortIsTerminal, 0);
        if (port == nullptr) {
            m_error = "Cannot register JACK port " + name;
            return ASIOFalse;
        }
        m_ports.push_back(port);
    }
    m_outputs = static_cast<long>(m_ports.size());
    if (jack_set_process_callback(m_client, &JackDriver::onProcess, this) != 0 ||
        jack_set_buffer_size_callback(m_client, &JackDriver::onBufferSize, this) != 0 ||
        jack_set_sample_rate_callback(m_client, &JackDriver::onSampleRate, this) != 0 ||
        jack_set_xrun_callback(m_client, &JackDriver::onXrun, this) != 0) {
        m_error = "Cannot register the JACK callbacks";
        return ASIOFalse;
    }
    jack_on_info_shutdown(m_client, &JackDriver::onShutdown, this);
    m_initialized = true;
    m_error = "No error";
    return ASIOTrue;
}

ASIOError JackDriver::getLatencies(long* inputLatency, long* outputLatency) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (inputLatency != nullptr) {
        *inputLatency = 0;
    }
    if (outputLatency != nullptr) {
        jack_latency_range_t range{};
        jack_port_get_latency_range(m_ports[0], JackPlaybackLatency, &range);
        *outputLatency = m_preferredFrames + static_cast<long>(range.max);
    }
    return ASE_OK;
}

ASIOError JackDriver::canSampleRate(ASIOSampleRate sampleRate) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    return sampleRate == m_rate ? ASE_OK : ASE_NoClock;
}

// The server owns the rate; only the rate it runs at is accepted.
ASIOError JackDriver::setSampleRate(ASIOSampleRate sampleRate) {
    return canSampleRate(sampleRate);
}

ASIOError JackDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
    return reportPosition(m_running.load(std::memory_order_acquire),
                          m_framesPlayed.load(std::memory_order_relaxed), steadyNanoseconds(), sPos, tStamp);
}

std::string JackDriver::channelName(bool, long channel) const {
    return cformat("Out %ld", channel + 1);
}

void JackDriver::releaseBuffers() {
    stop();
    deactivate();
}

ASIOError JackDriver::start() {
    if (!hasBuffers()) {
        return ASE_InvalidMode;
    }
    if (m_serverGone.load(std::memory_order_acquire)) {
        m_error = "The JACK server has shut down";
        return ASE_HWMalfunction;
    }
    if (m_running.load(std::memory_order_acquire)) {
        return ASE_OK;
    }
    std::lock_guard lock(m_control);
    m_half.store(0, std::memory_order_relaxed);
    m_framesPlayed.store(0, std::memory_order_relaxed);
    m_running.store(true, std::memory_order_release);
    if (!m_activated.load(std::memory_order_acquire)) {
        if (jack_activate(m_client) != 0) {
            m_running.store(false, std::memory_order_release);
            m_error = "Cannot activate the JACK client";
            return ASE_HWMalfunction;
        }
        m_activated.store(true, std::memory_order_release);
        // Connecting is a convenience: a port the user has patched elsewhere still plays.
        for (size_t c = 0; c < m_ports.size() && c < m_systemPorts.size(); ++c) {
            jack_connect(m_client, jack_port_name(m_ports[c]), m_systemPorts[c].c_str());
        }
    }
    return ASE_OK;
}

ASIOError JackDriver::stop() {
    m_running.store(false, std::memory_order_release);
    if (t_inProcess) {
        return ASE_OK;  // the process callback plays silence from its next period on
    }
    deactivate();
    return ASE_OK;
}

void JackDriver::deactivate() {
    // The first caller deactivates; a second one (a teardown while the playback thread stops
    // after a server notice) waits for it here and then finds nothing to do.
    std::lock_guard lock(m_control);
    if (!m_activated.load(std::memory_order_acquire)) {
        return;
    }
    // Returns once the process callback has left the graph, so no callback follows stop().
    if (!m_serverGone.load(std::memory_order_acquire)) {
        jack_deactivate(m_client);
    }
    m_activated.store(false, std::memory_order_release);
}

ASIOError JackDriver::controlPanel() {
    std::printf(
        "Quoril JACK: client \"%s\" on a server at %.0f Hz with %ld-frame periods; %zu output port(s):\n",
        m_client != nullptr ? jack_get_client_name(m_client) : kClientName, m_rate, m_preferredFrames,
        m_ports.size());
    for (size_t c = 0; c < m_ports.size(); ++c) {
        std::printf("  %s -> %s\n", jack_port_name(m_ports[c]),
                    c < m_systemPorts.size() ? m_systemPorts[c].c_str() : "(not connected)");
    }
    std::printf("Rate and period are the server's: change them in the JACK (or PipeWire) settings.\n");
    std::fflush(stdout);
    return ASE_OK;
}

int JackDriver::onProcess(jack_nframes_t frames, void* arg) {
    static_cast<JackDriver*>(arg)->process(frames);
    return 0;
}

void JackDriver::silence(jack_nframes_t frames) noexcept {
    for (jack_port_t* port : m_ports) {
        std::memset(jack_port_get_buffer(port, frames), 0, sizeof(float) * frames);
    }
}

void JackDriver::process(jack_nframes_t frames) noexcept {
    ASIOCallbacks* callbacks = m_callbacks.load(std::memory_order_acquire);
    // A period of another size arrives while a buffer-size change is on its way to the host.
    if (!m_running.load(std::memory_order_acquire) || callbacks == nullptr ||
        static_cast<long>(frames) != bufferFrames()) {
        silence(frames);
        return;
    }
    const long half = m_half.load(std::memory_order_relaxed);
    t_inProcess = true;
    callbacks->bufferSwitch(half, ASIOTrue);
    t_inProcess = false;
    for (size_t c = 0; c < m_ports.size(); ++c) {
        auto* out = static_cast<float*>(jack_port_get_buffer(m_ports[c], frames));
        const int32_t* in = outputHalves(half)[c];
        if (in != nullptr) {
            convertInt32ToFloat(in, out, frames);
        } else {
            std::memset(out, 0, sizeof(float) * frames);
        }
    }
    m_half.store(half ^ 1, std::memory_order_relaxed);
    m_framesPlayed.fetch_add(frames, std::memory_order_relaxed);
}

int JackDriver::onBufferSize(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackDriver*>(arg);
    ASIOCallbacks* callbacks = self->m_callbacks.load(std::memory_order_acquire);
    if (callbacks != nullptr && static_cast<long>(frames) != self->bufferFrames()) {
        callbacks->asioMessage(kAsioBufferSizeChange, static_cast<long>(frames), nullptr, nullptr);
    }
    return 0;
}

int JackDriver::onSampleRate(jack_nframes_t rate, void* arg) {
    auto* self = static_cast<JackDriver*>(arg);
    ASIOCallbacks* callbacks = self->m_callbacks.load(std::memory_order_acquire);
    if (callbacks != nullptr &&
        static_cast<double>(rate) != self->m_serverRate.load(std::memory_order_acquire) &&
        callbacks->sampleRateDidChange) {
        callbacks->sampleRateDidChange(static_cast<ASIOSampleRate>(rate));
    }
    return 0;
}

int JackDriver::onXrun(void* arg) {
    static_cast<JackDriver*>(arg)->m_xruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void JackDriver::onShutdown(jack_status_t, const char*, void* arg) {
    auto* self = static_cast<JackDriver*>(arg);
    self->m_serverGone.store(true, std::memory_order_release);
    self->m_running.store(false, std::memory_order_release);
    ASIOCallbacks* callbacks = self->m_callbacks.load(std::memory_order_acquire);
    if (callbacks != nullptr) {
        callbacks->asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
    }
}

}  // namespace quoril

QUORIL_DRIVER_PLUGIN("Quoril JACK", "{C7E2941B-3D58-4A06-B8F1-6F0D2A9C5E84}", quoril::JackDriver)
