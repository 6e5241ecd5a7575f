#pragma once

#include <cstdint>

namespace quoril {

// The wake protocol both playback threads share. run() waits on theTransport.dspEvent and on
// each wake takes the device request and the transport command (each with an exchange, so one
// written meanwhile waits for the next wake, which its signal guarantees), carries them out
// and then serves every block the callbacks have given back (see BlockState), the one they need
// first first, so two block switches before one wake are both served. It ends on CmdQuit, a driver
// reset or changed settings, a refused start or fill, or a closed event, always with both DSP
// blocks silent and theTransport.playing and threadRunning cleared.
//
// What differs between the direct and the resampling path is left to the hooks. Everything
// here runs on the playback thread: noexcept, no allocation beyond what a hook does on
// CmdStart, no lock, no wait but the event's.
class PlaybackLoop {
  public:
    // The playback thread, once its own set-up has succeeded: marks the thread running and
    // handles wakes until it ends.
    void run() noexcept;

  private:
    // Fills (or, halted, just hands back) every Requested block. False when a fill failed.
    bool serveBlocks() noexcept;
    // On play: takes the block after the current one for filling, unless already begun.
    void claimNextBlock() noexcept;

  protected:
    PlaybackLoop() = default;
    ~PlaybackLoop() = default;
    PlaybackLoop(const PlaybackLoop&) = delete;
    PlaybackLoop& operator=(const PlaybackLoop&) = delete;

    // CmdStart, with playback halted: prepares the path for blocks of n frames and logs the
    // start line. False (with the reason logged) ends the thread.
    virtual bool start(int32_t n) noexcept = 0;
    // Whether CmdPlay may take effect.
    virtual bool canPlay() const noexcept = 0;
    // CmdHalt, after both blocks were silenced.
    virtual void halt() noexcept = 0;
    // Fills DSP block `block` while playing. False (with the reason logged) ends the thread.
    virtual bool fill(int block) noexcept = 0;
    // Every way out of the thread, before its last log line.
    virtual void release() noexcept = 0;
};

}  // namespace quoril
