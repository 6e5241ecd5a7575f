#include "asio/DriverTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "asio/DriverScan.h"
#include "platform/CFormat.h"
#include "support/WavWriter.h"

namespace quoril::test {

std::string faultDriverPath() {
    return QUORIL_FAULT_DRIVER_PATH;
}
std::string captureDriverPath() {
    return QUORIL_CAPTURE_DRIVER_PATH;
}

std::string faultClassId(int n) {
    return cformat("{3B9E7D21-5A4C-4F18-B6E2-0000000000%02X}", n & 0xff);
}

const std::string kAsioKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\";

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
    m_registry.setString(kAsioKey + key, "clsid", clsid);
    const std::string classKey = "HKEY_CLASSES_ROOT\\clsid\\" + (hkcrName.empty() ? clsid : hkcrName);
    if (server.empty()) {
        m_registry.createKey(classKey);
    } else {
        m_registry.setString(classKey + "\\InprocServer32", "", server);
    }
}

void DriverRegistry::addCaptureDriver() {
    addDriver(kCaptureName, kCaptureClassId, captureDriverPath());
    set(kCaptureName, "description", kCaptureName);
}

void DriverRegistry::set(const std::string& key, const std::string& name, const std::string& text) {
    m_registry.setString(kAsioKey + key, name, text);
}

void DriverRegistry::setDword(const std::string& key, const std::string& name, uint32_t value) {
    m_registry.setDword(kAsioKey + key, name, value);
}

std::string DriverRegistry::journal(const std::string& key) {
    std::string path = m_dir.file("journal-" + key + ".txt");
    set(key, "Journal", path);
    return path;
}

namespace {

void notify() {
    { std::lock_guard<std::mutex> lock(TestHost::mutex); }
    TestHost::changed.notify_all();
}

void fillHalf(long half) {
    const uint64_t first = TestHost::switches.load() * static_cast<uint64_t>(TestHost::bufferSize);
    for (int channel = 0; channel < 2; ++channel) {
        auto* bytes = static_cast<unsigned char*>(TestHost::buffers[channel].buffers[half]);
        for (long i = 0; i < TestHost::bufferSize; ++i) {
            const uint64_t frame = first + static_cast<uint64_t>(i);
            const int32_t value = channel == 0 ? TestHost::leftSample(frame) : TestHost::rightSample(frame);
            // Little-endian: packed 24-bit samples are the first three bytes of the word.
            std::memcpy(bytes + TestHost::sampleBytes * i, &value, TestHost::sampleBytes);
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
    if (const uint64_t index = TestHost::switches.load(); index < TestHost::kRecorded) {
        TestHost::halves[index].store(half);
    }
    if (TestHost::buffers != nullptr) {
        fillHalf(half);
    }
    const uint64_t count = TestHost::switches.fetch_add(1) + 1;
    if (TestHost::stopAfter != 0 && count == TestHost::stopAfter && TestHost::driver != nullptr) {
        TestHost::driver->stop();
    }
    notify();
}

long asioMessage(long selector, long value, void*, double*) {
    if (selector >= 0 && selector < 32) {
        TestHost::messages[selector].fetch_add(1);
    }
    notify();
    if (selector == kAsioResetRequest) {
        holdWhile(TestHost::holdReset);
    }
    return selector == kAsioSelectorSupported ? value != kAsioSupportsTimeInfo
           : selector == kAsioEngineVersion   ? 2
                                              : selector != kAsioSupportsTimeInfo;
}

}  // namespace

void TestHost::reset() {
    driver = nullptr;
    buffers = nullptr;
    bufferSize = 0;
    sampleBytes = 4;
    shift = 0;
    stopAfter = 0;
    switches.store(0);
    for (auto& half : halves) {
        half.store(-1);
    }
    for (auto& count : messages) {
        count.store(0);
    }
    release();
    held.store(false);
}

void TestHost::release() {
    holdSwitch.store(false);
    holdReset.store(false);
    notify();
}

ASIOCallbacks TestHost::callbacks() {
    return ASIOCallbacks{[](long half, ASIOBool) { onSwitch(half); }, [](ASIOSampleRate) {}, asioMessage,
                         [](ASIOTime*, long half, ASIOBool) -> ASIOTime* {
                             onSwitch(half);
                             return nullptr;
                         }};
}

bool readCaptureWav(const std::string& path, uint32_t& rate, std::vector<int32_t>& samples,
                    std::string& why) {
    const std::string data = readFile(path);
    if (data.size() < 44) {
        why = "shorter than a header: " + std::to_string(data.size()) + " bytes";
        return false;
    }
    // The one header the writer makes: 32-bit PCM stereo at its rate, sizes matching the file.
    std::memcpy(&rate, data.data() + 24, 4);
    samples.resize((data.size() - 44) / 4);
    std::memcpy(samples.data(), data.data() + 44, samples.size() * 4);
    if (data != WavWriter(32, 2, rate).samples(samples).bytes() || samples.size() % 2 != 0) {
        why = "not a complete 32-bit stereo PCM file of " + std::to_string(data.size()) + " bytes";
        return false;
    }
    return true;
}

}  // namespace quoril::test
