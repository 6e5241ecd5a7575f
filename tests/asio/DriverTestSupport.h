#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "asio/Asio.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace quoril::test {

// The two driver plug-ins the tests load, and distinct class ids for fault drivers, n in 0..255.
std::string faultDriverPath();
std::string captureDriverPath();
std::string faultClassId(int n);
inline constexpr const char* kCaptureClassId = "{6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A913}";
inline constexpr const char* kCaptureName = "Quoril Capture";

// The player's registry while it lives (QUORIL_REGISTRY and HOME in a temporary directory; scans
// do not pause); save() writes it for the player to read when it builds a driver list.
class DriverRegistry {
  public:
    DriverRegistry();
    ~DriverRegistry();
    DriverRegistry(const DriverRegistry&) = delete;
    DriverRegistry& operator=(const DriverRegistry&) = delete;

    Registry& registry() { return m_registry; }
    const TempDir& dir() const { return m_dir; }

    // HKLM\SOFTWARE\ASIO\<key> "clsid" = clsid, and HKCR\clsid\<hkcrName, default clsid>
    // \InprocServer32 = server (no InprocServer32 when server is empty).
    void addDriver(const std::string& key, const std::string& clsid, const std::string& server,
                   const std::string& hkcrName = "");
    void addFaultDriver(const std::string& key, int n) { addDriver(key, faultClassId(n), faultDriverPath()); }
    void addCaptureDriver();
    void set(const std::string& key, const std::string& name, const std::string& text);
    void setDword(const std::string& key, const std::string& name, uint32_t value);
    // A journal file for the fault driver under key; returns its path.
    std::string journal(const std::string& key);
    void save() { m_registry.save(m_dir.file("registry.reg")); }

  private:
    TempDir m_dir;
    Registry m_registry;
};

// A host for driver tests; the callbacks carry no context, so its state is process-wide (reset()
// first). A switch records its half and writes frame n (from the first switch) as left 2n + 1,
// right -(2n + 2), shifted up `shift` bits; it stops the driver itself at switch `stopAfter`.
struct TestHost {
    static constexpr int kRecorded = 4096;

    static inline IASIO* driver = nullptr;
    static inline ASIOBufferInfo* buffers = nullptr;  // left, right
    static inline long bufferSize = 0;
    static inline int sampleBytes = 4;     // 4: the pattern as 32-bit words; 3: packed 24-bit
    static inline int shift = 0;           // 16: 16-bit content in the top of the words
    static inline uint64_t stopAfter = 0;  // 0: never
    // Gates for schedules: while set, the next buffer switch or reset notice waits inside the
    // callback, with `held` set, until the test clears the gate (release()).
    static inline std::atomic<bool> holdSwitch{false};
    static inline std::atomic<bool> holdReset{false};
    static inline std::atomic<bool> held{false};
    static void release();

    static inline std::atomic<uint64_t> switches{0};
    static inline std::atomic<long> halves[kRecorded];
    static inline std::atomic<long> messages[32];  // asioMessage calls by selector

    static void reset();
    static ASIOCallbacks callbacks();
    // Waits until predicate() holds or the time is up; true when it held.
    template <typename Predicate>
    static bool waitFor(Predicate predicate, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, limit, predicate);
    }
    static inline std::mutex mutex;
    static inline std::condition_variable changed;

    static int32_t leftSample(uint64_t frame) { return static_cast<int32_t>((2 * frame + 1) << shift); }
    static int32_t rightSample(uint64_t frame) {
        return static_cast<int32_t>(static_cast<uint32_t>(-static_cast<int32_t>(2 * frame + 2)) << shift);
    }
};

// Reads a 32-bit stereo WAV written by the capture driver: its rate and interleaved samples.
// False when the header is not the 44-byte PCM header of that writer or the sizes disagree.
bool readCaptureWav(const std::string& path, uint32_t& rate, std::vector<int32_t>& samples, std::string& why);

}  // namespace quoril::test
