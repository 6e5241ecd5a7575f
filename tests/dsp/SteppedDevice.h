#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/DiagnosticsLog.h"
#include "dsp/ResamplerLibrary.h"
#include "dsp/TransportState.h"
#include "platform/NamedEvent.h"

namespace quoril {
class CdDescriptor;
}

namespace quoril::test {

// Waits until condition() holds, at most until the deadline. True when it held.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(20));

// Drives a playback thread one device buffer at a time, as a driver would, but in lock-step:
// after each buffer switch that asks for a refill it waits until the playback thread has
// handled that wake, so the outcome does not depend on timing. Sets up theTransport and the
// device record the callbacks read; restores them when it goes.
class SteppedDevice {
  public:
    SteppedDevice(int32_t bufferFrames, int32_t blockFrames, double outputRate);
    ~SteppedDevice();
    SteppedDevice(const SteppedDevice&) = delete;
    SteppedDevice& operator=(const SteppedDevice&) = delete;

    // Starts the playback procedure on a thread of its own; true once it is ready for its wake.
    bool start(void (*procedure)(CdDescriptor*) noexcept, CdDescriptor* cd);
    // Posts a command and waits until the thread has carried it out. False on timeout.
    bool command(TransportCommand command);
    // Posts a device request as a driver notice would, and waits for the thread to end.
    bool request(DeviceRequest request);
    // One buffer switch; what the driver received is appended to played(). False when a
    // refill that it asked for was not handled in time.
    bool playBuffer();
    // As many buffers as one DSP block holds.
    bool playBlocks(int blocks);
    // Waits for the playback thread to end (after CmdQuit, a driver request, a closed event).
    bool waitForEnd();
    void closeEvent() { m_event.close(); }
    NamedEvent& event() { return m_event; }

    // Interleaved left/right words the driver received, in order.
    const std::vector<int32_t>& played() const { return m_played; }
    void clearPlayed() { m_played.clear(); }
    std::string log() const { return m_log.snapshot(); }
    const std::vector<int32_t>& block(int index) const { return m_blocks[index]; }
    int32_t blockFrames() const { return m_blockFrames; }

  private:
    int32_t m_bufferFrames;
    int32_t m_blockFrames;
    NamedEvent m_event{"_tamu_DSP_732"};
    DiagnosticsLog m_log;
    ResamplerLibrary m_resampler;
    std::vector<int32_t> m_blocks[2];
    std::vector<int32_t> m_outputs[2][2];  // [channel][half]
    std::vector<int32_t> m_played;
    long m_half = 0;
    std::thread m_thread;
};

}  // namespace quoril::test
