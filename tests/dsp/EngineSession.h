#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/DiagnosticsLog.h"
#include "asio/DriverTestSupport.h"
#include "dsp/DspEngine.h"

namespace quoril::test {

// A play session as the player window runs it, on a real driver plug-in: a registry with the
// driver in it (QUORIL_REGISTRY and HOME point into a temporary directory), the engine built
// on it, the start-up log and the running log.
class EngineSession {
  public:
    // Registers the capture driver, writing to capturePath(), at `speed` times real time.
    static std::unique_ptr<EngineSession> onCapture(long bufferSize, double deviceRate, double speed);
    // Registers a fault driver under the key "Fault"; the test sets its values before open().
    static std::unique_ptr<EngineSession> onFault();
    ~EngineSession();

    DriverRegistry& drivers() { return m_drivers; }
    // Builds the engine (driver name, installation directory = the temporary directory).
    bool open(double outputRate, uint16_t converterType = 1, double volumeDb = 0.0);
    // StartThread with the disc, then waits for the thread to announce itself.
    bool start(CdDescriptor* cd);
    // Terminate and delete the engine, as the window's exit path does.
    void end();

    DspEngine* engine() { return m_engine.get(); }
    std::string startLog() const { return m_startLog.snapshot(); }
    std::string runLog() const { return m_runLog.snapshot(); }
    DiagnosticsLog& runLogTarget() { return m_runLog; }
    const std::string& capturePath() const { return m_capture; }
    // Interleaved words of the capture file (after end()).
    std::vector<int32_t> captured(uint32_t* rate = nullptr) const;

  private:
    EngineSession() = default;

    DriverRegistry m_drivers;
    std::string m_driverName;
    std::string m_capture;
    DiagnosticsLog m_startLog;
    DiagnosticsLog m_runLog;
    std::unique_ptr<DspEngine> m_engine;
};

// Index of the first frame that holds a non-zero word; -1 when all is silence.
long firstSoundFrame(const std::vector<int32_t>& words);
// Occurrences of needle in text.
int countOf(const std::string& text, const std::string& needle);

}  // namespace quoril::test
