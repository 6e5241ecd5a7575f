#pragma once

#include <cstdint>
#include <string>

#include "asio/Asio.h"

namespace quoril {

class DiagnosticsLog;
class Settings;

// The open output device, in one process-wide record, because the driver callbacks carry no
// context pointer. The device session (window thread) writes it during construction and start;
// after start it does not change until teardown, which stops the driver first, so the callbacks
// (driver thread) read it without a lock: the buffer addresses, preferredSize, postOutput,
// requestedRate and channelPair.
struct DriverInfo {
    static constexpr int kMaxDescribed = 100;  // channels described per direction
    static constexpr int kMaxEntries = 200;

    ASIODriverInfo driverInfo;  // host version, driver version, name, error message, sysRef (null)

    long inputChannels;
    long outputChannels;

    long minSize;
    long maxSize;
    long preferredSize;  // the half-buffer size the buffers were created with (B)
    long granularity;

    ASIOSampleRate sampleRate;  // read from the driver during the device checks
    bool postOutput;            // the driver wants outputReady() after each buffer switch

    long inputLatency;
    long outputLatency;

    long inputBuffers;   // number of input channels described: min(inputChannels, 100)
    long outputBuffers;  // number of output channels described: min(outputChannels, 100)
    // Entry 0: left output (channel 2 * pair), entry 1: right output (2 * pair + 1).
    ASIOBufferInfo bufferInfos[kMaxEntries];
    // Inputs first (inputBuffers of them), then outputs (outputBuffers).
    ASIOChannelInfo channelInfos[kMaxEntries];

    // Both output channels of the pair were described and take Int32LSB samples. The buffer
    // callbacks write 32-bit words only when this is set: a driver that reports another sample
    // type is still started (and then refused), and its smaller buffers must not be overrun.
    bool outputsAreInt32;

    // Copied from the session's construction arguments.
    ASIOSampleRate requestedRate;  // the rate-change callback compares against it
    int16_t channelPair;
};

// The one process-wide DriverInfo (zero-filled at start).
DriverInfo& driverInfo();

// The device session: turns the driver named in the settings into a running two-channel output.
// Owned by the DSP engine. Every operation runs on the window thread; every message goes to the
// log given at construction, in order.
//
// Life: construct -> initialized() tells whether the driver is open, checked and has buffers for
// the pair with the callbacks registered -> the engine resets its hand-off position, sizes its
// blocks, calls silence() and start() -> the driver calls the callbacks on its own thread ->
// destruction stops, disposes and releases the driver and destroys the session's driver list.
class AsioSession {
  public:
    // Loads driverName, initialises it, runs the device checks (channels, buffer sizes, rate,
    // setting requestedRate when the driver is not already at it), creates buffers for output
    // channels 2 * channelPair and 2 * channelPair + 1 of the preferred size with callbacks,
    // describes the channels and reads the latencies. When a rate change alters the channel
    // counts, settingsForRescan gets a fresh usable-driver list (its entry named
    // asioDriverName is marked selected). The callbacks record is copied; the functions it names
    // must live until the session is destroyed.
    AsioSession(const std::string& driverName, double requestedRate, int16_t channelPair, DiagnosticsLog& log,
                const ASIOCallbacks& callbacks, Settings& settingsForRescan);
    // Teardown: when initialized or mustStop, stop the driver, silence its buffers, dispose them
    // and release the driver; then destroy the session's driver list.
    virtual ~AsioSession();
    AsioSession(const AsioSession&) = delete;
    AsioSession& operator=(const AsioSession&) = delete;

    // Starts the driver and lists every described channel in the log. A failed start clears
    // initialized(); a channel whose type is not 32-bit integer LSB clears initialized() and sets
    // mustStop() (the driver is running: teardown stops it).
    void start();
    // Writes zeros over both halves of both output buffers (in the size of each channel's sample
    // type); nothing unless initialized().
    void silence();

    double requestedRate() const { return m_requestedRate; }
    // Sample type of the left output channel, recorded by start(); 0 before.
    long sampleType() const { return m_sampleType; }
    long outputLatency() const { return m_outputLatency; }
    // Size of each half-buffer in samples (the driver's preferred size).
    long bufferSize() const { return m_bufferSize; }
    bool initialized() const { return m_initialized; }
    bool mustStop() const { return m_mustStop; }

  private:
    bool initialize(const std::string& driverName, Settings& settingsForRescan);
    int checkDevice(Settings& settingsForRescan);

    double m_requestedRate = 0.0;
    long m_sampleType = 0;
    long m_outputLatency = 0;
    long m_bufferSize = 0;
    bool m_initialized = false;
    bool m_mustStop = false;
    DiagnosticsLog& m_log;
    ASIOCallbacks m_callbacks{};  // handed to the driver by address; lives as long as the session
};

}  // namespace quoril
