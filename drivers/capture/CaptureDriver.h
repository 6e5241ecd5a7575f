#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "CaptureWavFile.h"
#include "asio/Asio.h"
#include "asio/DriverClock.h"
#include "asio/PluginDriver.h"

namespace quoril {

// "Quoril Capture": an output driver that records what the host gives it. It runs its own clock
// (buffer period / Speed) and writes the first two output channels that have buffers, exactly as
// the host left each half, to a 32-bit PCM stereo WAV file at the current rate.
//
// Configuration, all optional, in HKEY_LOCAL_MACHINE\SOFTWARE\ASIO\Quoril Capture, read by init():
//   "File"        path of the WAV file (default quoril-capture.wav in the current directory)
//   "Speed"       clock as a multiple of real time (default 1; fractions allowed)
//   "Outputs"     output channel count (default 2)
//   "Inputs"      input channel count (default 0); inputs deliver silence
//   "BufferSize"  preferred buffer size in frames (default 512)
//   "Rate"        the rate it starts at (default 44100); any positive rate is accepted later
//   "SampleType"  sample type reported for every channel (default 18, 32-bit integer LSB)
// Numbers may be dword or text values.
//
// The file is created at the first start() after createBuffers() and grows across stop/start;
// its header is completed at every stop() (also one the host makes from inside its callback),
// and at disposeBuffers() and Release(), which close it. A rate change while stopped closes it,
// so the next start() begins a new file at the new rate.
//
// Threads: the host's window thread calls the methods; the clock thread calls the host's buffer
// switch and then writes the half; outputReady() comes from the clock thread, stop() from any.
class CaptureDriver final : public PluginDriver {
  public:
    static constexpr const char* kName = "Quoril Capture";
    static constexpr const char* kClassId = "{6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A913}";

    CaptureDriver() : PluginDriver(kName, "Internal") {}

    unsigned long Release() override;
    ASIOBool init(void* sysHandle) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getLatencies(long* inputLatency, long* outputLatency) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
    ASIOError disposeBuffers() override;
    // No panel: the values above are edited in the registry file.
    ASIOError controlPanel() override { return ASE_NotPresent; }
    ASIOError future(long selector, void* opt) override;
    ASIOError outputReady() override;

  private:
    ~CaptureDriver() override;

    ASIOError buffersMade(long frames) override;
    void releaseBuffers() override;
    std::string channelName(bool isInput, long channel) const override;

    bool readConfiguration();
    // With m_control held, from a thread other than the clock's.
    void stopLocked();
    // Clock thread: the host has filled half; append it to the file.
    void writeHalf(long half) noexcept;
    void sampleAt(const HostBuffer* buffer, long half, long frame, int32_t& out) const noexcept;

    // Configuration (window thread, before start).
    std::string m_file = "quoril-capture.wav";
    double m_speed = 1.0;

    // The base's m_control serialises start, stop, rate changes, dispose and release: stop() may
    // come from any thread.

    // Window thread (under m_control where the calls above touch them); fixed while the clock runs.
    bool m_useTimeInfo = false;
    const HostBuffer* m_left = nullptr;   // the file's left channel, null: none
    const HostBuffer* m_right = nullptr;  // and its right channel

    // The file: the clock thread writes it while running; the window thread only after stopping it.
    CaptureWavFile m_wav;
    std::vector<int32_t> m_interleaved;  // one half, made at createBuffers
    std::atomic<bool> m_stoppedFromCallback{false};
    std::atomic<uint64_t> m_outputReadyCalls{0};

    DriverClock m_clock;
};

}  // namespace quoril
