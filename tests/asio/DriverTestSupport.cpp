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

void holdWhile(std::atomic<bool>& gate) {
    if (gate.load()) {
        TestHost::held.store(true);
        notify();
        TestHost::waitFor([&] { return !gate.load(); }, std::chrono::seconds(60));
    }
}

void onSwitch(long half) {
    holdWhile(TestHost::holdSwitch);
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
        TestHost::lastValues[selector].store(value);
        TestHost::messages[selector].fetch_add(1);
    }
    notify();
    if (selector == kAsioResetRequest) {
        holdWhile(TestHost::holdReset);
    }
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
    shift = 0;
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
    for (int i = 0; i < 32; ++i) {
        messages[i].store(0);
        lastValues[i].store(0);
    }
    changedRate.store(0.0);
    rateChanges.store(0);
    release();
    held.store(false);
}

void TestHost::release() {
    holdSwitch.store(false);
    holdReset.store(false);
    notify();
}

ASIOCallbacks TestHost::callbacks() {
    return ASIOCallbacks{bufferSwitch, sampleRateDidChange, asioMessage, bufferSwitchTimeInfo};
}

// ---- WAV reading ----

namespace {

void put(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
}

}  // namespace

bool readCaptureWav(const std::string& path, uint32_t& rate, std::vector<int32_t>& samples,
                    std::string& why) {
    const std::string data = readFile(path);
    if (data.size() < 44) {
        why = "shorter than a header: " + std::to_string(data.size()) + " bytes";
        return false;
    }
    // The one header the writer makes: 32-bit PCM stereo at its rate, sizes matching the file.
    rate = static_cast<unsigned char>(data[24]) | static_cast<unsigned char>(data[25]) << 8 |
           static_cast<unsigned char>(data[26]) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(data[27])) << 24;
    const auto dataBytes = static_cast<uint32_t>(data.size() - 44);
    std::string header = "RIFF";
    put(header, dataBytes + 36, 4);
    header += "WAVEfmt ";
    for (auto [value, bytes] :
         {std::pair{16u, 4}, {1u, 2}, {2u, 2}, {rate, 4}, {rate * 8, 4}, {8u, 2}, {32u, 2}}) {
        put(header, value, bytes);
    }
    header += "data";
    put(header, dataBytes, 4);
    if (data.compare(0, 44, header) != 0 || dataBytes % 8 != 0) {
        why = "not the 44-byte header of a complete 32-bit stereo PCM file of " +
              std::to_string(data.size()) + " bytes";
        return false;
    }
    samples.resize(dataBytes / 4);
    std::memcpy(samples.data(), data.data() + 44, dataBytes);
    return true;
}

}  // namespace quoril::test
