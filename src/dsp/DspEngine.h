#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "dsp/ResamplerLibrary.h"
#include "dsp/TransportState.h"

namespace quoril {

class AsioSession;
class CdDescriptor;
class DiagnosticsLog;
class NamedEvent;

// The engine that turns a loaded disc into sound. One per play session, made and deleted on the
// window thread.
//
// Construction opens the device session, binds the resampler library, sizes the two DSP blocks
// and starts the driver; `active` tells whether the session can play. StartThread() attaches the
// opened disc and starts the playback thread (halted). The window then steers playback through
// TogglePlay(), Stop(), Terminate() and the words of theTransport (volume, phase, repeat,
// position). Before deleting the engine the owner calls Terminate().
//
// All operations run on the window thread and never throw; failures go to the log as text.
class DspEngine {
  public:
    // The name of the event that wakes the playback thread.
    static constexpr const char* kEventName = "_tamu_DSP_732";

    // driverName: the output driver; installDirectory: where a private libsamplerate.so.0 may
    // lie; outputRate: device rate in Hz; channelPair: output pair (left 2 * pair, right
    // 2 * pair + 1); converterType: libsamplerate converter (setting SRC); volumeDb: starting
    // volume. Every line of the set-up is appended to log.
    DspEngine(const std::string& driverName, const std::string& installDirectory, double outputRate,
              uint16_t channelPair, uint16_t converterType, double volumeDb, DiagnosticsLog& log);
    // Waits for the playback thread to end, then tears down the device session (so the driver
    // outlives a thread that is inside its stop()), releases the library, the blocks and the
    // event. The disc given to StartThread must outlive the engine.
    virtual ~DspEngine();
    DspEngine(const DspEngine&) = delete;
    DspEngine& operator=(const DspEngine&) = delete;

    // Attaches the disc and starts the playback thread matching its rate, halted: lines go to
    // log, which becomes the playback thread's log. cd may be null (then `active` is cleared).
    void StartThread(CdDescriptor* cd, double volumeDb, DiagnosticsLog& log);
    // Play when halted, halt when playing.
    void TogglePlay();
    // Halt and rewind to frame 0; appends "Playback stopped.\r\n\r\n" to the playback log.
    void Stop();
    // Detaches the disc and tells the playback thread to end; appends the late-block count to
    // the playback log when it is not zero.
    void Terminate();

    // Appends the playback thread's queued log lines to the playback log, oldest first. The
    // window's timer (and the console loop) calls it; Stop, Terminate and the destructor too,
    // so that their own lines follow the thread's.
    void drainLog();

    // N from the session's buffer size and rate.
    int32_t ComputeBlockFrames() const;
    // N for a device buffer of bufferSize frames at rate Hz.
    static int32_t ComputeBlockFrames(int32_t bufferSize, double rate);

    // DSP blocks that the driver began to play before they were refilled (see TransportState).
    int32_t lateBlocks() const;
    // True while a playback thread runs (theTransport.threadRunning).
    bool threadRunning() const;

    // Name of the driver in use; empty until the device session is initialised.
    std::string driverName;
    // True once the driver runs with a 32-bit output and the engine may play; cleared again by
    // StartThread when no thread can start. Window thread only.
    bool active = false;
    // The disc attached by StartThread; null before and after Terminate.
    CdDescriptor* cd = nullptr;

  private:
    void releaseBlocks();

    ResamplerLibrary m_resampler;
    std::unique_ptr<AsioSession> m_session;
    std::unique_ptr<NamedEvent> m_event;
    std::thread m_thread;
    bool m_heapBlocks = false;
};

}  // namespace quoril
