#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "app/DiagnosticsLog.h"
#include "asio/DriverTestSupport.h"
#include "dsp/DspEngine.h"
#include "platform/CFormat.h"

namespace quoril::test {

// Index of the first frame that holds a non-zero word; -1 when all is silence.
inline long firstSoundFrame(const std::vector<int32_t>& words) {
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] != 0) {
            return static_cast<long>(i / 2);
        }
    }
    return -1;
}

// Occurrences of needle in text.
inline int countOf(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

// A play session as the player window runs it, on a real driver plug-in: a registry with the
// driver in it (QUORIL_REGISTRY and HOME point into a temporary directory), the engine built
// on it, the start-up log and the running log.
class EngineSession {
  public:
    // The capture driver, writing to capturePath(), at `speed` times real time.
    EngineSession(long bufferSize, double deviceRate, double speed) : m_driverName(kCaptureName) {
        m_capture = m_drivers.dir().file("capture.wav");
        m_drivers.addCaptureDriver();
        m_drivers.set(kCaptureName, "File", m_capture);
        m_drivers.set(kCaptureName, "Speed", cformat("%g", speed));
        m_drivers.setDword(kCaptureName, "BufferSize", static_cast<uint32_t>(bufferSize));
        m_drivers.set(kCaptureName, "Rate", cformat("%.4f", deviceRate));
    }
    // A fault driver under the key "Fault"; the test sets its values before open().
    EngineSession() : m_driverName("Fault") { m_drivers.addFaultDriver("Fault", 1); }
    ~EngineSession() { end(); }

    DriverRegistry& drivers() { return m_drivers; }
    // Builds the engine (installation directory = the temporary directory).
    bool open(double outputRate, uint16_t converterType = 1, double volumeDb = 0.0) {
        m_drivers.save();
        m_engine = std::make_unique<DspEngine>(m_driverName, m_drivers.dir().path(), outputRate, 0,
                                               converterType, volumeDb, m_startLog);
        return m_engine->active;
    }
    // StartThread with the disc, then waits for the thread to announce itself.
    bool start(CdDescriptor* cd) {
        m_engine->StartThread(cd, theTransport.volumeDb.load(), m_runLog);
        return waitUntil([&] { return logHas("Playback starting"); });
    }
    // Terminate and delete the engine, as the window's exit path does.
    void end() {
        if (m_engine) {
            m_engine->Terminate();
            m_engine.reset();
        }
    }
    // Waits until the log holds `text` and then `wakes` more wakes have been handled.
    bool waitFor(const std::string& text, uint32_t wakes = 0) {
        if (!waitUntil([&] { return logHas(text); })) {
            return false;
        }
        uint32_t from = theTransport.wakesHandled.load();
        return waitUntil([&] { return theTransport.wakesHandled.load() >= from + wakes; });
    }

    DspEngine* engine() { return m_engine.get(); }
    std::string startLog() const { return m_startLog.snapshot(); }
    std::string runLog() const { return m_runLog.snapshot(); }
    bool logHas(const std::string& text) const { return runLog().find(text) != std::string::npos; }
    const std::string& capturePath() const { return m_capture; }
    // Interleaved words of the capture file (after end()); rate gets the file's rate.
    std::vector<int32_t> captured(uint32_t* rate = nullptr) const {
        uint32_t fileRate = 0;
        std::vector<int32_t> words;
        std::string why;
        EXPECT_TRUE(readCaptureWav(m_capture, fileRate, words, why)) << why;
        if (rate != nullptr) {
            *rate = fileRate;
        }
        return words;
    }

  private:
    DriverRegistry m_drivers;
    std::string m_driverName;
    std::string m_capture;
    DiagnosticsLog m_startLog;
    DiagnosticsLog m_runLog;
    std::unique_ptr<DspEngine> m_engine;
};

}  // namespace quoril::test
