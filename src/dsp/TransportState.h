#pragma once

#include <atomic>
#include <cstdint>

#include "platform/LogQueue.h"

namespace quoril {

class DiagnosticsLog;
class NamedEvent;

// Codes of TransportState::deviceRequest, written by the reset and change notices. Any other
// value asks for nothing. (Block refills are asked for through TransportState::blockState.)
enum DeviceRequest : int16_t {
    ReqNone = 0,
    ReqDriverReset = 4,
    ReqSettingsChanged = 5,
};

// The hand-off state of one DSP block. Each transition belongs to one side, so a block is never
// read and written at once:
//   Ready -> Presenting     callbacks, when they begin to play the block (compare-exchange)
//   Presenting -> Requested callbacks, when they have played all of it
//   Requested -> Filling    playback thread, when it begins to write the block
//   Ready -> Requested      playback thread, on play, for the zeros the callbacks come to next
//                           (compare-exchange, so a block already begun is left alone)
//   Filling/Requested -> Ready  playback thread, once the block holds the next frames (or, when
//                           halted, the zeros it already holds)
// A block the callbacks come to that is not Ready is played as silence, whole, and is counted
// late while playing; the callbacks then stay on it, so no block is skipped and none repeats.
enum BlockState : uint8_t {
    BlockReady = 0,
    BlockPresenting = 1,
    BlockRequested = 2,
    BlockFilling = 3,
};

// Codes of TransportState::transportCommand, written by the engine operations. Any other value
// asks for nothing.
enum TransportCommand : int16_t {
    CmdNone = 0,
    CmdPlay = 4,
    CmdHalt = 5,
    CmdQuit = 6,
    CmdStart = 7,
};

// Frames in each of the two statically reserved DSP blocks; larger blocks come from the heap.
inline constexpr int32_t kStaticBlockFrames = 128000;

// The words shared by the window thread, the playback thread and the driver's callback thread.
// There is one instance, theTransport, because the driver callbacks carry no context.
//
// Every word that more than one thread touches while playback runs is a lock-free atomic. The
// playback thread takes deviceRequest and transportCommand with an exchange, so a request or
// command written while it fills a block is never lost; the writer then signals dspEvent.
// The fields marked "set up" are written by the window thread while no playback thread exists
// and before the driver starts, and only read afterwards.
struct TransportState {
    // Digital volume in dB (-100.0 ... 0.0). Window thread writes; the playback thread reads it
    // once per block.
    std::atomic<double> volumeDb{0.0};
    // +1 (phase 0 degrees) or -1 (180 degrees). Window thread writes; read once per block.
    std::atomic<int16_t> phaseSign{1};
    // At the end of the disc: true continues from frame 0, false halts. Window thread writes.
    std::atomic<bool> repeatAtEnd{true};
    // libsamplerate converter type (0 best sinc, 1 medium sinc). Set up by the engine.
    std::atomic<int16_t> converterType{0};
    // 1 while the playback thread produces audio. Written by the playback thread only.
    std::atomic<int16_t> playing{0};
    // A DeviceRequest. Callbacks store and signal; the playback thread exchanges it with 0.
    std::atomic<int16_t> deviceRequest{0};
    // A TransportCommand. Engine operations store and signal; the playback thread exchanges it
    // with 0.
    std::atomic<int16_t> transportCommand{0};
    // True from the moment the playback thread is ready for its first wait until just before it
    // returns. Written by the playback thread only.
    std::atomic<bool> threadRunning{false};

    // Index of the next disc frame to process, 0 ... frames of the disc. Use position() and
    // setPosition(); see positionWord.
    int32_t position() const noexcept { return static_cast<int32_t>(positionWord.load() & 0xffffffffu); }
    // A seek, track jump or rewind (window thread, engine Stop). A playback thread filling a
    // block keeps this value instead of overwriting it with its own advance: it takes effect
    // from the next block (with resampling: the next conversion call).
    void setPosition(int32_t frame) noexcept;
    // Playback thread: moves the position from `from` (as read with readPosition) to `to`
    // unless somebody else wrote the position in between. True when it moved.
    bool advancePosition(uint64_t from, int32_t to) noexcept;
    // Playback thread: the whole word, to hand back to advancePosition.
    uint64_t readPosition() const noexcept { return positionWord.load(); }
    static int32_t framesOf(uint64_t word) noexcept { return static_cast<int32_t>(word & 0xffffffffu); }
    // The word advancePosition(from, to) stores.
    static uint64_t advancedWord(uint64_t from, int32_t to) noexcept {
        return (from & ~uint64_t{0xffffffffu}) | static_cast<uint32_t>(to);
    }

    // Low 32 bits: the position in frames; high 32 bits: a count of outside writes, so that a
    // playback thread can tell a seek to the very frame it started from from no seek at all.
    std::atomic<uint64_t> positionWord{0};

    // The auto-reset event "_tamu_DSP_732", owned by the engine; null when there is none.
    // Callbacks and engine operations signal it; only the playback thread waits on it.
    std::atomic<NamedEvent*> dspEvent{nullptr};
    // The session's running log: Stop() appends to it and the window thread drains logQueue
    // into it. Set by StartThread.
    std::atomic<DiagnosticsLog*> logTarget{nullptr};
    // Device rate in Hz (the session's requested rate). Set up by the engine.
    std::atomic<double> outputRate{0.0};
    // N, the DSP block size in frames, a whole multiple of the device buffer size. Set up.
    int32_t blockFrames = 0;
    // Two blocks of N frames, each frame a left and a right int32. Set up by the engine. Who may
    // touch a block's words follows blockState (published with release, taken with acquire);
    // only a halt zeroes a block being played, so every access goes through std::atomic_ref.
    int32_t* dspBlocks[2] = {nullptr, nullptr};
    // A BlockState per block; both Ready (holding zeros) when a session is set up.
    std::atomic<uint8_t> blockState[2] = {BlockReady, BlockReady};
    // The block the callbacks drain (0 or 1) and the frames of it already handed to the driver.
    // Written by the callbacks only (the playback thread reads the index to fill the block they
    // need first); reset to 0 when a device session is set up.
    std::atomic<uint16_t> deviceBlockIndex{0};
    std::atomic<int32_t> deviceBlockOffset{0};
    // Callbacks only: the current pass over the block plays silence (it was not Ready).
    std::atomic<bool> silentPass{false};

    // Passes of silence played while playing because a block was not Ready in time.
    std::atomic<int32_t> lateBlocks{0};
    // The playback thread's log lines, drained by the window thread into logTarget in order.
    LogQueue logQueue;
    // Wakes the playback thread has fully handled (requests, command and block fill done).
    // Lets a caller that posts a command see when it has been carried out.
    std::atomic<uint32_t> wakesHandled{0};

    // Stores a command and signals dspEvent (no check of the engine's state).
    void post(TransportCommand command) noexcept;
    // Wakes the playback thread; false when there is no event or it is closed.
    bool signal() noexcept;
    // Resets every word to its start value (engine construction).
    void reset() noexcept;
};

static_assert(std::atomic<double>::is_always_lock_free);
static_assert(std::atomic<int16_t>::is_always_lock_free);
static_assert(std::atomic<uint8_t>::is_always_lock_free);
static_assert(std::atomic<uint16_t>::is_always_lock_free);
static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<NamedEvent*>::is_always_lock_free);

// The process-wide transport state.
extern TransportState theTransport;

}  // namespace quoril
