// A scriptable driver plug-in for tests: a small, well-behaved device unless the values of its key
// (the subkey of HKEY_LOCAL_MACHINE\SOFTWARE\ASIO whose "clsid" names the class id asked for) make
// it fail. Values, all optional: "RefuseCreate" 1; "InitError" text; "Inputs", "Outputs" (0, 2);
// "OutputsAfterRateChange"; "BufferSize" (256); "Rate" (44100); "OutputLatency" (22);
// "InputSampleType", "OutputSampleType" (18); "Refuse" comma-separated calls that fail (plus
// confirmRate / confirmChannels: getSampleRate / getChannels fail once a rate was set);
// "OutputReady" 1; "Speed" (clock as a multiple of real time); "EventAfter" switches, then "Event"
// reset, resync, buffersize, latencies, rate (reporting "EventRate") or silence (the clock stops);
// "Journal" a file that gets one line per call of the host.

#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "asio/Asio.h"
#include "asio/DriverClock.h"
#include "platform/CFormat.h"
#include "platform/PluginLoader.h"
#include "platform/Registry.h"

namespace quoril {
namespace {

constexpr const char* kAsioKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO";

// The driver's key and its values, read once when the object is made.
struct FaultConfig {
    std::string keyName;
    Registry registry;
    std::string key;

    bool has(const char* name) const { return !key.empty() && registry.value(key, name).has_value(); }
    std::string text(const char* name) const {
        return key.empty() ? "" : registry.stringValue(key, name).value_or("");
    }
    double number(const char* name, double fallback) const {
        std::string value = text(name);
        char* end = nullptr;
        double parsed = cstrtod(value.c_str(), &end);
        return end == value.c_str() ? fallback : parsed;
    }
    bool refuses(const char* call) const {
        return ("," + text("Refuse") + ",").find(std::string(",") + call + ",") != std::string::npos;
    }
};

FaultConfig readConfig(const ClassId& classId) {
    FaultConfig config;
    config.registry.loadDefault();
    for (const std::string& subkey : config.registry.subkeys(kAsioKey)) {
        std::string path = std::string(kAsioKey) + "\\" + subkey;
        std::optional<std::string> text = config.registry.stringValue(path, "clsid");
        ClassId parsed;
        if (text && parseClassId(*text, parsed) && parsed == classId) {
            config.keyName = subkey;
            config.key = path;
            break;
        }
    }
    return config;
}

class FaultDriver : public IASIO {
  public:
    explicit FaultDriver(FaultConfig config) : m_config(std::move(config)) {
        m_inputs = static_cast<long>(m_config.number("Inputs", 0));
        m_outputs = static_cast<long>(m_config.number("Outputs", 2));
        m_rate = m_config.number("Rate", 44100.0);
        m_preferred = static_cast<long>(m_config.number("BufferSize", 256));
        m_journal = m_config.text("Journal");
        journal("create");
    }

    unsigned long Release() override {
        // Cleans up silently: the journal shows only what the host called.
        m_clock.stop();
        m_buffers.clear();
        journal("Release outputReady=" + std::to_string(m_outputReadyCalls.load()) +
                " switches=" + std::to_string(m_clock.switches()));
        delete this;
        return 0;
    }

    ASIOBool init(void*) override {
        journal("init");
        m_error = m_config.text("InitError");
        return m_config.has("InitError") ? ASIOFalse : ASIOTrue;
    }
    void getDriverName(char* name) override {
        std::strncpy(name, m_config.keyName.empty() ? "Quoril Fault" : m_config.keyName.c_str(), 31);
        name[31] = '\0';
    }
    long getDriverVersion() override { return 7; }
    void getErrorMessage(char* string) override {
        journal("getErrorMessage");
        std::strncpy(string, m_error.c_str(), 123);
        string[123] = '\0';
    }

    ASIOError start() override {
        journal("start");
        if (m_config.refuses("start") || m_buffers.empty()) {
            return ASE_HWMalfunction;
        }
        if (m_clock.running() && !m_stoppedFromCallback.load()) {
            return ASE_OK;
        }
        m_stoppedFromCallback.store(false);
        const uint64_t eventAfter = static_cast<uint64_t>(m_config.number("EventAfter", 0));
        const std::string event = m_config.text("Event");
        const double eventRate = m_config.number("EventRate", m_rate * 2);
        const ASIOCallbacks callbacks = m_callbacks;
        DriverClock* clock = &m_clock;
        bool started =
            m_clock.start(m_callbacks, m_useTimeInfo, m_bufferSize, m_rate, m_config.number("Speed", 1),
                          [callbacks, eventAfter, event, eventRate, clock](long, uint64_t switches) {
                              if (eventAfter == 0 || switches != eventAfter) {
                                  return;
                              }
                              if (event == "silence") {
                                  clock->stop();  // asks only: this is the clock thread
                                  return;
                              }
                              if (event == "rate" && callbacks.sampleRateDidChange) {
                                  callbacks.sampleRateDidChange(eventRate);
                                  return;
                              }
                              long selector = event == "reset"        ? long{kAsioResetRequest}
                                              : event == "resync"     ? kAsioResyncRequest
                                              : event == "buffersize" ? kAsioBufferSizeChange
                                              : event == "latencies"  ? kAsioLatenciesChanged
                                                                      : 0L;
                              if (selector != 0 && callbacks.asioMessage) {
                                  callbacks.asioMessage(selector, 0, nullptr, nullptr);
                              }
                          });
        return started ? ASE_OK : ASE_HWMalfunction;
    }
    ASIOError stop() override {
        if (m_clock.onClockThread()) {
            m_stoppedFromCallback.store(true);
        } else {
            journal("stop");
        }
        m_clock.stop();
        return ASE_OK;
    }
    ASIOError getChannels(long* numInputChannels, long* numOutputChannels) override {
        journal("getChannels");
        if (m_config.refuses("getChannels") || (m_rateWasSet && m_config.refuses("confirmChannels"))) {
            return ASE_NotPresent;
        }
        *numInputChannels = m_inputs;
        *numOutputChannels = m_outputs;
        return ASE_OK;
    }
    ASIOError getLatencies(long* inputLatency, long* outputLatency) override {
        journal("getLatencies");
        if (m_config.refuses("getLatencies")) {
            return ASE_NotPresent;
        }
        *inputLatency = 11;
        *outputLatency = static_cast<long>(m_config.number("OutputLatency", 22));
        return ASE_OK;
    }
    ASIOError getBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) override {
        journal("getBufferSize");
        if (m_config.refuses("getBufferSize")) {
            return ASE_NotPresent;
        }
        *minSize = 32;
        *maxSize = 4096;
        *preferredSize = m_preferred;
        *granularity = 1;
        return ASE_OK;
    }
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override {
        journal("canSampleRate");
        return sampleRate > 0 ? ASE_OK : ASE_NoClock;
    }
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override {
        journal("getSampleRate");
        if (m_config.refuses("getSampleRate") || (m_rateWasSet && m_config.refuses("confirmRate"))) {
            return ASE_NoClock;
        }
        *sampleRate = m_rate;
        return ASE_OK;
    }
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override {
        journal(cformat("setSampleRate %.0f", sampleRate));
        if (m_config.refuses("setSampleRate") || !(sampleRate > 0)) {
            return ASE_NoClock;
        }
        m_rate = sampleRate;
        m_rateWasSet = true;
        m_outputs =
            static_cast<long>(m_config.number("OutputsAfterRateChange", static_cast<double>(m_outputs)));
        return ASE_OK;
    }
    ASIOError getClockSources(ASIOClockSource*, long*) override { return ASE_NotPresent; }
    ASIOError setClockSource(long) override { return ASE_NotPresent; }
    ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override {
        uint64_t position = m_clock.samplePosition();
        sPos->hi = static_cast<unsigned long>(position >> 32);
        sPos->lo = static_cast<unsigned long>(position & 0xffffffffu);
        tStamp->hi = tStamp->lo = 0;
        return m_clock.running() ? ASE_OK : ASE_SPNotAdvancing;
    }
    ASIOError getChannelInfo(ASIOChannelInfo* info) override {
        journal(cformat("getChannelInfo %s %ld", info->isInput ? "in" : "out", info->channel));
        const long count = info->isInput ? m_inputs : m_outputs;
        if (m_config.refuses("getChannelInfo") || info->channel < 0 || info->channel >= count) {
            return ASE_InvalidParameter;
        }
        info->type = static_cast<long>(
            m_config.number(info->isInput ? "InputSampleType" : "OutputSampleType", ASIOSTInt32LSB));
        info->channelGroup = 0;
        info->isActive = ASIOFalse;
        for (const Buffer& buffer : m_buffers) {
            if (buffer.isInput == (info->isInput != ASIOFalse) && buffer.channel == info->channel) {
                info->isActive = ASIOTrue;
            }
        }
        std::snprintf(info->name, sizeof info->name, "Fault %s %ld", info->isInput ? "In" : "Out",
                      info->channel + 1);
        return ASE_OK;
    }
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks) override {
        journal(cformat("createBuffers %ld %ld", numChannels, bufferSize));
        if (m_config.refuses("createBuffers") || !m_buffers.empty() || numChannels <= 0 || bufferSize <= 0 ||
            callbacks == nullptr) {
            return ASE_InvalidMode;
        }
        for (long i = 0; i < numChannels; ++i) {
            const long count = bufferInfos[i].isInput ? m_inputs : m_outputs;
            if (bufferInfos[i].channelNum < 0 || bufferInfos[i].channelNum >= count) {
                return ASE_InvalidParameter;
            }
        }
        m_buffers.resize(static_cast<size_t>(numChannels));
        for (long i = 0; i < numChannels; ++i) {
            Buffer& buffer = m_buffers[static_cast<size_t>(i)];
            buffer.isInput = bufferInfos[i].isInput != ASIOFalse;
            buffer.channel = bufferInfos[i].channelNum;
            buffer.storage.assign(2 * static_cast<size_t>(bufferSize) * 8, 0);  // room for any type
            bufferInfos[i].buffers[0] = buffer.storage.data();
            bufferInfos[i].buffers[1] = buffer.storage.data() + static_cast<size_t>(bufferSize) * 8;
        }
        m_bufferSize = bufferSize;
        m_callbacks = *callbacks;
        m_useTimeInfo = DriverClock::hostWantsTimeInfo(*callbacks);
        return ASE_OK;
    }
    ASIOError disposeBuffers() override {
        journal("disposeBuffers");
        m_clock.stop();
        if (m_buffers.empty()) {
            return ASE_InvalidMode;
        }
        m_buffers.clear();
        return ASE_OK;
    }
    ASIOError controlPanel() override { return ASE_OK; }
    ASIOError future(long selector, void*) override {
        journal(cformat("future %ld", selector));
        return !m_config.refuses("future") &&
                       (selector == kAsioEnableTimeCodeRead || selector == kAsioDisableTimeCodeRead)
                   ? ASE_SUCCESS
                   : ASE_InvalidParameter;
    }
    ASIOError outputReady() override {
        m_outputReadyCalls.fetch_add(1, std::memory_order_relaxed);
        return m_config.number("OutputReady", 0) == 1 ? ASE_OK : ASE_NotPresent;
    }

  private:
    ~FaultDriver() override = default;

    struct Buffer {
        bool isInput = false;
        long channel = 0;
        std::vector<unsigned char> storage;
    };

    // Window thread only (outputReady, the one call from the clock thread, is counted instead).
    void journal(const std::string& line) {
        if (std::FILE* file = m_journal.empty() ? nullptr : std::fopen(m_journal.c_str(), "a")) {
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }

    FaultConfig m_config;
    std::string m_journal;
    std::string m_error;
    long m_inputs = 0;
    long m_outputs = 2;
    double m_rate = 44100.0;
    bool m_rateWasSet = false;
    long m_preferred = 256;
    long m_bufferSize = 0;
    ASIOCallbacks m_callbacks{};
    bool m_useTimeInfo = false;
    std::vector<Buffer> m_buffers;
    std::atomic<uint64_t> m_outputReadyCalls{0};
    std::atomic<bool> m_stoppedFromCallback{false};
    DriverClock m_clock;
};

}  // namespace
}  // namespace quoril

extern "C" __attribute__((visibility("default"))) const char* quorilDriverName() {
    return "Quoril Fault";
}
extern "C" __attribute__((visibility("default"))) const char* quorilDriverClassId() {
    return "{3B9E7D21-5A4C-4F18-B6E2-91D7C05A6E44}";
}
extern "C" __attribute__((visibility("default"))) void* quorilDriverCreate(const quoril::ClassId* classId) {
    quoril::FaultConfig config = quoril::readConfig(classId ? *classId : quoril::ClassId{});
    return config.number("RefuseCreate", 0) == 1
               ? nullptr
               : static_cast<quoril::IASIO*>(new (std::nothrow) quoril::FaultDriver(std::move(config)));
}
