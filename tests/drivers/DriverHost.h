#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "asio/Asio.h"
#include "platform/DynamicLibrary.h"

namespace quoril::test {

// The driver plug-in files of the build tree.
std::string alsaDriverPath();
std::string jackDriverPath();

// A minimal host for the output driver plug-ins: it loads a plug-in file, makes the driver
// through the plug-in's exported factory and class id, and plays a program of stereo frames
// through one output pair the way the player's buffer hand-off does: each bufferSwitch copies
// the next B frames into the half it names (left to the first buffer, right to the second),
// silence after the end. The callbacks carry no context, so the state is process-wide: one host
// at a time.
class DriverHost {
  public:
    DriverHost();
    ~DriverHost();  // stops, disposes and releases the driver
    DriverHost(const DriverHost&) = delete;
    DriverHost& operator=(const DriverHost&) = delete;

    // Loads the plug-in and creates the driver; false with error set on failure.
    bool load(const std::string& pluginPath, std::string& error);
    IASIO* driver() { return m_driver; }

    // Interleaved stereo 32-bit frames to hand out, starting with the first bufferSwitch after
    // release() (before it, and after the end, the halves are silence). held: hand out silence
    // until release() is called.
    void setProgram(std::vector<int32_t> frames, bool held = false);
    void release();

    // createBuffers for output channels 2·pair and 2·pair+1 with `frames` frames per half.
    ASIOError createPair(long pair, long frames);
    void stopAndDispose();
    // stopAndDispose(), then Release() the driver (which closes its device).
    void releaseDriver();

    // Waits, at most until the deadline, until condition() holds; re-checked at every callback.
    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds deadline);
    // The program has been handed out completely and `extraSwitches` more switches followed.
    bool waitForProgramPlayed(long extraSwitches, std::chrono::milliseconds deadline);

    long switches() const;
    long resetRequests() const;
    long bufferSizeChanges() const;
    long lastBufferSizeValue() const;
    // True while every switch so far named the half after the one before (0, 1, 0, 1, ...).
    bool halvesAlternated() const;

  private:
    DynamicLibrary m_library;
    IASIO* m_driver = nullptr;
    bool m_buffersCreated = false;
};

}  // namespace quoril::test
