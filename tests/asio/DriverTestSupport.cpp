#include "asio/DriverTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "asio/DriverScan.h"

namespace quoril::test {

std::string faultDriverPath() {
    return QUORIL_FAULT_DRIVER_PATH;
}
std::string captureDriverPath() {
    return QUORIL_CAPTURE_DRIVER_PATH;
}

std::string faultClassId(int n) {
    char text[40];
    std::snprintf(text, sizeof text, "{3B9E7D21-5A4C-4F18-B6E2-0000000000%02X}", n & 0xff);
    return text;
}

DriverRegistry::DriverRegistry() {
    setenv("QUORIL_REGISTRY", m_dir.file("registry.reg").c_str(), 1);
    setenv("HOME", m_dir.path().c_str(), 1);
    setDriverSettleTimes(0, 0);
    save();
}

DriverRegistry::~DriverRegistry() {
    unsetenv("QUORIL_REGISTRY");
    setDriverSettleTimes(-1, -1);
}

void DriverRegistry::addDriver(const std::string& key, const std::string& clsid, const std::string& server,
                               const std::string& hkcrName) {
    m_registry.setString(asioKey(key), "clsid", clsid);
    const std::string classKey = "HKEY_CLASSES_ROOT\\clsid\\" + (hkcrName.empty() ? clsid : hkcrName);
    if (server.empty()) {
        m_registry.createKey(classKey);
    } else {
        m_registry.setString(classKey + "\\InprocServer32", "", server);
    }
}

std::string DriverRegistry::addFaultDriver(const std::string& key, int n) {
    std::string clsid = faultClassId(n);
    addDriver(key, clsid, faultDriverPath());
    return clsid;
}

void DriverRegistry::addCaptureDriver() {
    addDriver(kCaptureName, kCaptureClassId, captureDriverPath());
    set(kCaptureName, "description", kCaptureName);
}

void DriverRegistry::set(const std::string& key, const std::string& name, const std::string& text) {
    m_registry.setString(asioKey(key), name, text);
}

void DriverRegistry::setDword(const std::string& key, const std::string& name, uint32_t value) {
    m_registry.setDword(asioKey(key), name, value);
}

std::string DriverRegistry::journal(const std::string& key) {
    std::string path = m_dir.file("journal-" + std::to_string(std::hash<std::string>()(key)) + ".txt");
    set(key, "Journal", path);
    return path;
}

void DriverRegistry::save() {
    m_registry.save(m_dir.file("registry.reg"));
}

// ---- TestHost ----

namespace {

void notify() {
    { std::lock_guard<std::mutex> lock(TestHost::mutex()); }
    TestHost::changed().notify_all();
}

void fillHalf(long half) {
    if (TestHost::buffers == nullptr) {
        return;
    }
    const uint64_t first = TestHost::switches.load() * static_cast<uint64_t>(TestHost::bufferSize);
    for (int channel = 0; channel < 2; ++channel) {
        auto* bytes = static_cast<unsigned char*>(TestHost::buffers[channel].buffers[half]);
        for (long i = 0; i < TestHost::bufferSize; ++i) {
            const uint64_t frame = first + static_cast<uint64_t>(i);
            const int32_t value = channel == 0 ? TestHost::leftSample(frame) : TestHost::rightSample(frame);
            if (TestHost::sampleBytes == 4) {
                std::memcpy(bytes + 4 * i, &value, 4);
            } else {
                // Packed 24-bit little-endian: the low three bytes of the value.
                const auto word = static_cast<uint32_t>(value);
                for (int b = 0; b < 3; ++b) {
                    bytes[3 * i + b] = static_cast<unsigned char>(word >> (8 * b));
                }
            }
        }
    }
}

void onSwitch(long half) {
    const uint64_t index = TestHost::switches.load();
    if (index < TestHost::kRecorded) {
        TestHost::halves[index].store(half);
    }
    fillHalf(half);
    const uint64_t count = TestHost::switches.fetch_add(1) + 1;
    if (TestHost::stopAfter != 0 && count == TestHost::stopAfter && TestHost::driver != nullptr) {
        TestHost::driver->stop();
    }
    notify();
}

void bufferSwitch(long half, ASIOBool) {
    onSwitch(half);
}

ASIOTime* bufferSwitchTimeInfo(ASIOTime* time, long half, ASIOBool) {
    const uint64_t index = TestHost::switches.load();
    if (time != nullptr && index < TestHost::kRecorded) {
        TestHost::positions[index].store(static_cast<uint64_t>(time->timeInfo.samplePosition.hi) << 32 |
                                         time->timeInfo.samplePosition.lo);
    }
    TestHost::timeInfoSwitches.fetch_add(1);
    onSwitch(half);
    return nullptr;
}

void sampleRateDidChange(ASIOSampleRate rate) {
    TestHost::changedRate.store(rate);
    TestHost::rateChanges.fetch_add(1);
    notify();
}

long asioMessage(long selector, long value, void*, double*) {
    if (selector >= 0 && selector < 32) {
        TestHost::messages[selector].fetch_add(1);
    }
    notify();
    switch (selector) {
        case kAsioSelectorSupported:
            return value == kAsioSupportsTimeInfo ? (TestHost::answerTimeInfo ? 1 : 0) : 1;
        case kAsioEngineVersion:
            return 2;
        case kAsioSupportsTimeInfo:
            return TestHost::answerTimeInfo ? 1 : 0;
        default:
            return 1;
    }
}

}  // namespace

std::mutex& TestHost::mutex() {
    static std::mutex m;
    return m;
}

std::condition_variable& TestHost::changed() {
    static std::condition_variable c;
    return c;
}

void TestHost::reset() {
    driver = nullptr;
    buffers = nullptr;
    bufferSize = 0;
    sampleBytes = 4;
    answerTimeInfo = false;
    stopAfter = 0;
    switches.store(0);
    timeInfoSwitches.store(0);
    for (auto& half : halves) {
        half.store(-1);
    }
    for (auto& position : positions) {
        position.store(0);
    }
    for (auto& count : messages) {
        count.store(0);
    }
    changedRate.store(0.0);
    rateChanges.store(0);
}

ASIOCallbacks TestHost::callbacks() {
    return ASIOCallbacks{bufferSwitch, sampleRateDidChange, asioMessage, bufferSwitchTimeInfo};
}

// ---- WAV reading ----

namespace {

uint32_t get32(const std::string& data, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(data[at + i]);
    }
    return value;
}

uint16_t get16(const std::string& data, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(data[at]) |
                                 static_cast<unsigned char>(data[at + 1]) << 8);
}

}  // namespace

bool readCaptureWav(const std::string& path, uint32_t& rate, std::vector<int32_t>& samples,
                    std::string& why) {
    const std::string data = readFile(path);
    if (data.size() < 44) {
        why = "shorter than a header: " + std::to_string(data.size()) + " bytes";
        return false;
    }
    if (data.compare(0, 4, "RIFF") != 0 || data.compare(8, 8, "WAVEfmt ") != 0 ||
        data.compare(36, 4, "data") != 0) {
        why = "not a RIFF WAVE file with fmt and data chunks";
        return false;
    }
    if (get32(data, 16) != 16 || get16(data, 20) != 1 || get16(data, 22) != 2 || get16(data, 32) != 8 ||
        get16(data, 34) != 32) {
        why = "not 32-bit PCM stereo";
        return false;
    }
    rate = get32(data, 24);
    if (get32(data, 28) != rate * 8) {
        why = "byte rate does not match the rate";
        return false;
    }
    if (get32(data, 4) != data.size() - 8 || get32(data, 40) != data.size() - 44) {
        why = "sizes in the header (" + std::to_string(get32(data, 4)) + ", " +
              std::to_string(get32(data, 40)) + ") do not match the file (" + std::to_string(data.size()) +
              " bytes)";
        return false;
    }
    samples.resize((data.size() - 44) / 4);
    std::memcpy(samples.data(), data.data() + 44, samples.size() * 4);
    return true;
}

}  // namespace quoril::test
