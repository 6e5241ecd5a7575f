// A scriptable driver plug-in for tests: a small, well-behaved device unless the values of its key
// (HKLM\SOFTWARE\ASIO\<key> "clsid" = its class id) make it fail. Values, all optional:
// "RefuseCreate" 1; "InitError" text; "Inputs", "Outputs" (0, 2);
// "OutputsAfterRateChange"; "BufferSize" (256); "OutputLatency" (22); "InputSampleType",
// "OutputSampleType" (18); "Refuse" comma-separated calls that fail (plus confirmRate /
// confirmChannels: getSampleRate / getChannels fail once a rate was set); "OutputReady" 1; "Speed"
// (clock as a multiple of real time); "EventAfter" switches, then "Event" reset, rate (reporting
// "EventRate") or silence (the clock stops); "Journal" a file that gets one line per host call.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "asio/Asio.h"
#include "asio/DriverClock.h"
#include "platform/CFormat.h"
#include "platform/PluginLoader.h"
#include "platform/Registry.h"

namespace quoril {
namespace {

class FaultDriver : public IASIO {
  public:
    // Reads the driver's key: the subkey whose "clsid" is classId.
    explicit FaultDriver(const ClassId& classId) {
        const std::string asio = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO";
        m_registry.loadDefault();
        for (const std::string& subkey : m_registry.subkeys(asio)) {
            ClassId parsed;
            if (parseClassId(m_registry.stringValue(asio + "\\" + subkey, "clsid").value_or(""), parsed) &&
                parsed == classId) {
                m_keyName = subkey;
                m_key = asio + "\\" + subkey;
                break;
            }
        }
        m_inputs = static_cast<long>(number("Inputs", 0));
        m_outputs = static_cast<long>(number("Outputs", 2));
        m_journal = text("Journal");
        journal("create");
    }

    unsigned long Release() override {
        m_clock.stop();
        journal("Release");
        delete this;
        return 0;
    }

    ASIOBool init(void*) override {
        journal("init");
        m_error = text("InitError");
        return m_error.empty() ? ASIOTrue : ASIOFalse;
    }
    void getDriverName(char* name) override { std::snprintf(name, 32, "%s", m_keyName.c_str()); }
    long getDriverVersion() override { return 7; }
    bool refusesCreate() const { return number("RefuseCreate", 0) == 1; }
    void getErrorMessage(char* string) override {
        journal("getErrorMessage");
        std::snprintf(string, 124, "%s", m_error.c_str());
    }

    ASIOError start() override {
        if (called("start") || m_buffers.empty()) {
            return ASE_HWMalfunction;
        }
        if (m_clock.running() && !m_stoppedFromCallback.load()) {
            return ASE_OK;
        }
        m_stoppedFromCallback.store(false);
        const auto eventAfter = static_cast<uint64_t>(number("EventAfter", 0));
        const std::string event = text("Event");
        const double eventRate = number("EventRate", m_rate * 2);
        // The clock thread reads m_callbacks, fixed from createBuffers to disposeBuffers.
        bool started = m_clock.start(m_callbacks, m_useTimeInfo, m_bufferSize, m_rate, number("Speed", 1),
                                     [=, this](long, uint64_t switches) {
                                         if (switches != eventAfter) {
                                             return;
                                         }
                                         if (event == "silence") {
                                             m_clock.stop();  // asks only: this is the clock thread
                                         } else if (event == "rate") {
                                             m_callbacks.sampleRateDidChange(eventRate);
                                         } else if (event == "reset") {
                                             m_callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
                                         }
                                     });
        return started ? ASE_OK : ASE_HWMalfunction;
    }
    ASIOError stop() override {
        m_stoppedFromCallback.store(m_clock.onClockThread());
        if (!m_stoppedFromCallback.load()) {
            journal("stop");
        }
        m_clock.stop();
        return ASE_OK;
    }
    ASIOError getChannels(long* numInputChannels, long* numOutputChannels) override {
        if (called("getChannels") || (m_rateWasSet && refuses("confirmChannels"))) {
            return ASE_NotPresent;
        }
        *numInputChannels = m_inputs;
        *numOutputChannels = m_outputs;
        return ASE_OK;
    }
    ASIOError getLatencies(long* inputLatency, long* outputLatency) override {
        if (called("getLatencies")) {
            return ASE_NotPresent;
        }
        *inputLatency = 11;
        *outputLatency = static_cast<long>(number("OutputLatency", 22));
        return ASE_OK;
    }
    ASIOError getBufferSize(long* minSize, long* maxSize, long* preferredSize, long* granularity) override {
        if (called("getBufferSize")) {
            return ASE_NotPresent;
        }
        *minSize = 32;
        *maxSize = 4096;
        *preferredSize = static_cast<long>(number("BufferSize", 256));
        *granularity = 1;
        return ASE_OK;
    }
    ASIOError canSampleRate(ASIOSampleRate rate) override { return rate > 0 ? ASE_OK : ASE_NoClock; }
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override {
        if (called("getSampleRate") || (m_rateWasSet && refuses("confirmRate"))) {
            return ASE_NoClock;
        }
        *sampleRate = m_rate;
        return ASE_OK;
    }
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override {
        journal(cformat("setSampleRate %.0f", sampleRate));
        if (refuses("setSampleRate") || !(sampleRate > 0)) {
            return ASE_NoClock;
        }
        m_rate = sampleRate;
        m_rateWasSet = true;
        m_outputs = static_cast<long>(number("OutputsAfterRateChange", static_cast<double>(m_outputs)));
        return ASE_OK;
    }
    ASIOError getClockSources(ASIOClockSource*, long*) override { return ASE_NotPresent; }
    ASIOError setClockSource(long) override { return ASE_NotPresent; }
    ASIOError getSamplePosition(ASIOSamples*, ASIOTimeStamp*) override { return ASE_NotPresent; }
    ASIOError getChannelInfo(ASIOChannelInfo* info) override {
        journal(cformat("getChannelInfo %s %ld", info->isInput ? "in" : "out", info->channel));
        if (refuses("getChannelInfo") || info->channel < 0 ||
            info->channel >= (info->isInput ? m_inputs : m_outputs)) {
            return ASE_InvalidParameter;
        }
        info->type =
            static_cast<long>(number(info->isInput ? "InputSampleType" : "OutputSampleType", ASIOSTInt32LSB));
        info->isActive = std::any_of(m_buffers.begin(), m_buffers.end(), [info](const Buffer& buffer) {
            return buffer.isInput == (info->isInput != ASIOFalse) && buffer.channel == info->channel;
        });
        std::snprintf(info->name, sizeof info->name, "Fault %s %ld", info->isInput ? "In" : "Out",
                      info->channel + 1);
        return ASE_OK;
    }
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks) override {
        journal(cformat("createBuffers %ld %ld", numChannels, bufferSize));
        if (refuses("createBuffers") || !m_buffers.empty() || numChannels <= 0 || bufferSize <= 0 ||
            callbacks == nullptr) {
            return ASE_InvalidMode;
        }
        const auto half = static_cast<size_t>(bufferSize) * 8;  // room for any type
        for (long i = 0; i < numChannels; ++i) {
            ASIOBufferInfo& info = bufferInfos[i];
            if (info.channelNum < 0 || info.channelNum >= (info.isInput ? m_inputs : m_outputs)) {
                m_buffers.clear();
                return ASE_InvalidParameter;
            }
            Buffer& buffer = m_buffers.emplace_back(Buffer{info.isInput != ASIOFalse, info.channelNum, {}});
            buffer.storage.assign(2 * half, 0);
            info.buffers[0] = buffer.storage.data();
            info.buffers[1] = buffer.storage.data() + half;
        }
        m_bufferSize = bufferSize;
        m_callbacks = *callbacks;
        m_useTimeInfo = DriverClock::hostWantsTimeInfo(*callbacks);
        return ASE_OK;
    }
    ASIOError disposeBuffers() override {
        journal("disposeBuffers");
        m_clock.stop();
        const bool had = !m_buffers.empty();
        m_buffers.clear();
        return had ? ASE_OK : ASE_InvalidMode;
    }
    ASIOError controlPanel() override { return ASE_OK; }
    ASIOError future(long selector, void*) override {
        return !called(cformat("future %ld", selector), "future") &&
                       (selector == kAsioEnableTimeCodeRead || selector == kAsioDisableTimeCodeRead)
                   ? ASE_SUCCESS
                   : ASE_InvalidParameter;
    }
    ASIOError outputReady() override { return number("OutputReady", 0) == 1 ? ASE_OK : ASE_NotPresent; }

  private:
    ~FaultDriver() override = default;

    struct Buffer {
        bool isInput = false;
        long channel = 0;
        std::vector<unsigned char> storage;
    };

    std::string text(const char* name) const {
        return m_key.empty() ? "" : m_registry.stringValue(m_key, name).value_or("");
    }
    double number(const char* name, double fallback) const {
        std::string value = text(name);
        char* end = nullptr;
        double parsed = cstrtod(value.c_str(), &end);
        return end == value.c_str() ? fallback : parsed;
    }
    bool refuses(const std::string& call) const {
        return ("," + text("Refuse") + ",").find("," + call + ",") != std::string::npos;
    }
    // Window thread only: outputReady, the one call from the clock thread, is not journaled.
    void journal(const std::string& line) {
        if (std::FILE* file = m_journal.empty() ? nullptr : std::fopen(m_journal.c_str(), "a")) {
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }
    // Journals the call; true when "Refuse" names it.
    bool called(const std::string& line, const std::string& name = "") {
        journal(line);
        return refuses(name.empty() ? line : name);
    }

    Registry m_registry;
    std::string m_keyName;
    std::string m_key;
    std::string m_journal;
    std::string m_error;
    long m_inputs = 0;
    long m_outputs = 2;
    double m_rate = 44100.0;
    bool m_rateWasSet = false;
    long m_bufferSize = 0;
    ASIOCallbacks m_callbacks{};
    bool m_useTimeInfo = false;
    std::vector<Buffer> m_buffers;
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
    auto* driver = new (std::nothrow) quoril::FaultDriver(classId ? *classId : quoril::ClassId{});
    if (driver != nullptr && driver->refusesCreate()) {
        driver->Release();
        return nullptr;
    }
    return static_cast<quoril::IASIO*>(driver);
}
