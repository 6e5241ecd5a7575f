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
constexpr long kDriverVersion = 1;

// Set while the process callback runs on this thread, so that stop() from inside bufferSwitch
// does not deactivate the client from its own process thread (which would deadlock).
thread_local bool t_inProcess = false;

void copyText(char* out, size_t size, const std::string& text) {
    std::snprintf(out, size, "%s", text.c_str());
}

// libjack prints its own messages to stderr (a missing server, a lost connection); the driver
// reports through getErrorMessage() and asioMessage() instead, so they stay off the console.
void ignoreJackMessage(const char*) {}

}  // namespace

JackDriver::JackDriver() = default;

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
    m_serverFrames = static_cast<long>(jack_get_buffer_size(m_client));

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

void JackDriver::getDriverName(char* name) {
    copyText(name, 32, kDriverName);
}

long JackDriver::getDriverVersion() {
    return kDriverVersion;
}

void JackDriver::getErrorMessage(char* string) {
    copyText(string, 124, m_error);
}

ASIOError JackDriver::getChannels(long* numInputChannels, long* numOutputChannels) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (numInputChannels != nullptr) {
        *numInputChannels = 0;
    }
    if (numOutputChannels != nullptr) {
        *numOutputChannels = static_cast<long>(m_ports.size());
    }
    return ASE_OK;
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
        *outputLatency = m_serverFrames + static_cast<long>(range.max);
    }
    return ASE_OK;
}

ASIOError JackDriver::getBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    // The server's period is the only size there is.
    if (minSize != nullptr) {
        *minSize = m_serverFrames;
    }
    if (maxSize != nullptr) {
        *maxSize = m_serverFrames;
    }
    if (preferredSize != nullptr) {
        *preferredSize = m_serverFrames;
    }
    if (granularity != nullptr) {
        *granularity = 0;
    }
    return ASE_OK;
}

ASIOError JackDriver::canSampleRate(ASIOSampleRate sampleRate) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    return sampleRate == m_rate ? ASE_OK : ASE_NoClock;
}

ASIOError JackDriver::getSampleRate(ASIOSampleRate* sampleRate) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (sampleRate == nullptr) {
        return ASE_InvalidParameter;
    }
    *sampleRate = m_rate;
    return ASE_OK;
}

// The server owns the rate; only the rate it runs at is accepted.
ASIOError JackDriver::setSampleRate(ASIOSampleRate sampleRate) {
    return canSampleRate(sampleRate);
}

ASIOError JackDriver::getClockSources(ASIOClockSource* clocks, long* numSources) {
    if (clocks == nullptr || numSources == nullptr) {
        return ASE_InvalidParameter;
    }
    *clocks = ASIOClockSource{};
    clocks->associatedChannel = -1;
    clocks->associatedGroup = -1;
    clocks->isCurrentSource = ASIOTrue;
    copyText(clocks->name, sizeof clocks->name, "JACK server");
    *numSources = 1;
    return ASE_OK;
}

ASIOError JackDriver::setClockSource(long reference) {
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError JackDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
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

ASIOError JackDriver::getChannelInfo(ASIOChannelInfo* info) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (info == nullptr || info->isInput || info->channel < 0 ||
        info->channel >= static_cast<long>(m_ports.size())) {
        return ASE_InvalidParameter;
    }
    const auto c = static_cast<size_t>(info->channel);
    info->isActive = (!m_sources[0].empty() && m_sources[0][c] != nullptr) ? ASIOTrue : ASIOFalse;
    info->channelGroup = 0;
    info->type = ASIOSTInt32LSB;
    copyText(info->name, sizeof info->name, cformat("Out %zu", c + 1));
    return ASE_OK;
}

ASIOError JackDriver::createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                                    ASIOCallbacks* callbacks) {
    if (!m_initialized) {
        return ASE_NotPresent;
    }
    if (m_frames != 0) {
        return ASE_InvalidMode;
    }
    const auto channels = static_cast<long>(m_ports.size());
    if (bufferInfos == nullptr || callbacks == nullptr || callbacks->bufferSwitch == nullptr ||
        callbacks->asioMessage == nullptr || numChannels < 1 || numChannels > channels ||
        bufferSize != m_serverFrames) {
        return ASE_InvalidParameter;
    }
    for (long i = 0; i < numChannels; ++i) {
        if (bufferInfos[i].isInput || bufferInfos[i].channelNum < 0 ||
            bufferInfos[i].channelNum >= channels) {
            return ASE_InvalidParameter;
        }
        for (long j = 0; j < i; ++j) {
            if (bufferInfos[j].channelNum == bufferInfos[i].channelNum) {
                return ASE_InvalidParameter;
            }
        }
    }
    try {
        m_halves.assign(2 * static_cast<size_t>(bufferSize) * static_cast<size_t>(numChannels), 0);
        for (auto& sources : m_sources) {
            sources.assign(static_cast<size_t>(channels), nullptr);
        }
    } catch (const std::bad_alloc&) {
        return ASE_NoMemory;
    }
    for (long i = 0; i < numChannels; ++i) {
        int32_t* base = m_halves.data() + 2 * static_cast<size_t>(i) * static_cast<size_t>(bufferSize);
        for (int half = 0; half < 2; ++half) {
            bufferInfos[i].buffers[half] = base + half * bufferSize;
            m_sources[half][static_cast<size_t>(bufferInfos[i].channelNum)] = base + half * bufferSize;
        }
    }
    m_frames = bufferSize;
    m_callbacks.store(callbacks, std::memory_order_release);
    return ASE_OK;
}

ASIOError JackDriver::disposeBuffers() {
    if (m_frames == 0) {
        return ASE_InvalidMode;
    }
    stop();
    deactivate();
    m_callbacks.store(nullptr, std::memory_order_release);
    m_frames = 0;
    m_halves.clear();
    m_sources[0].clear();
    m_sources[1].clear();
    return ASE_OK;
}

ASIOError JackDriver::start() {
    if (m_frames == 0) {
        return ASE_InvalidMode;
    }
    if (m_serverGone.load(std::memory_order_acquire)) {
        m_error = "The JACK server has shut down";
        return ASE_HWMalfunction;
    }
    if (m_running.load(std::memory_order_acquire)) {
        return ASE_OK;
    }
    m_half.store(0, std::memory_order_relaxed);
    m_framesPlayed.store(0, std::memory_order_relaxed);
    m_running.store(true, std::memory_order_release);
    if (!m_activated) {
        if (jack_activate(m_client) != 0) {
            m_running.store(false, std::memory_order_release);
            m_error = "Cannot activate the JACK client";
            return ASE_HWMalfunction;
        }
        m_activated = true;
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
    if (!m_activated) {
        return;
    }
    // Returns once the process callback has left the graph, so no callback follows stop().
    if (!m_serverGone.load(std::memory_order_acquire)) {
        jack_deactivate(m_client);
    }
    m_activated = false;
}

ASIOError JackDriver::controlPanel() {
    std::printf(
        "Quoril JACK: client \"%s\" on a server at %.0f Hz with %ld-frame periods; %zu output port(s):\n",
        m_client != nullptr ? jack_get_client_name(m_client) : kClientName, m_rate, m_serverFrames,
        m_ports.size());
    for (size_t c = 0; c < m_ports.size(); ++c) {
        std::printf("  %s -> %s\n", jack_port_name(m_ports[c]),
                    c < m_systemPorts.size() ? m_systemPorts[c].c_str() : "(not connected)");
    }
    std::printf("Rate and period are the server's: change them in the JACK (or PipeWire) settings.\n");
    std::fflush(stdout);
    return ASE_OK;
}

ASIOError JackDriver::future(long, void*) {
    return ASE_InvalidParameter;
}

ASIOError JackDriver::outputReady() {
    return ASE_NotPresent;
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
        static_cast<long>(frames) != m_frames) {
        silence(frames);
        return;
    }
    const long half = m_half.load(std::memory_order_relaxed);
    t_inProcess = true;
    callbacks->bufferSwitch(half, ASIOTrue);
    t_inProcess = false;
    for (size_t c = 0; c < m_ports.size(); ++c) {
        auto* out = static_cast<float*>(jack_port_get_buffer(m_ports[c], frames));
        const int32_t* in = m_sources[half][c];
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
    if (callbacks != nullptr && static_cast<long>(frames) != self->m_frames) {
        callbacks->asioMessage(kAsioBufferSizeChange, static_cast<long>(frames), nullptr, nullptr);
    }
    return 0;
}

int JackDriver::onSampleRate(jack_nframes_t rate, void* arg) {
    auto* self = static_cast<JackDriver*>(arg);
    ASIOCallbacks* callbacks = self->m_callbacks.load(std::memory_order_acquire);
    if (callbacks != nullptr && static_cast<double>(rate) != self->m_rate && callbacks->sampleRateDidChange) {
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
