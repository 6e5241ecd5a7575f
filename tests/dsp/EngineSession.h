#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "asio/DriverTestSupport.h"
#include "dsp/DspEngine.h"
#include "platform/CFormat.h"
#include "platform/DiagnosticsLog.h"

namespace quoril::test {

// Index of the first frame that holds a non-zero word; -1 when all is silence.
inline long firstSoundFrame(const std::vector<int32_t>& words) {
    auto at = std::find_if(words.begin(), words.end(), [](int32_t word) { return word != 0; });
    return at == words.end() ? -1 : (at - words.begin()) / 2;
}

// A play session as the window runs it, on a real driver plug-in registered in a temporary
// registry (QUORIL_REGISTRY and HOME point there), with its start-up and running logs.
class EngineSession {
  public:
    // The capture driver, writing to capturePath, at `speed` times real time.
    EngineSession(long bufferSize, double deviceRate, double speed) : driverName(kCaptureName) {
        capturePath = drivers.dir().file("capture.wav");
        drivers.addCaptureDriver();
        drivers.set(kCaptureName, "File", capturePath);
        drivers.set(kCaptureName, "Speed", cformat("%g", speed));
        drivers.setDword(kCaptureName, "BufferSize", static_cast<uint32_t>(bufferSize));
        drivers.set(kCaptureName, "Rate", cformat("%.4f", deviceRate));
    }
    // The fault driver ("Fault"), 512-frame buffers at `speed` times real time; more values may follow.
    explicit EngineSession(const char* speed) : driverName("Fault") {
        drivers.addFaultDriver("Fault", 1);
        drivers.setDword("Fault", "BufferSize", 512);
        drivers.set("Fault", "Speed", speed);
    }
    ~EngineSession() { end(); }

    // Builds the engine (installation directory = the temporary directory).
    bool open(double outputRate, uint16_t converterType = 1, double volumeDb = 0.0) {
        drivers.save();
        engine = std::make_unique<DspEngine>(driverName, drivers.dir().path(), outputRate, 0, converterType,
                                             volumeDb, m_startLog);
        return engine->active;
    }
    // StartThread with the disc, then waits for the thread to announce itself.
    bool start(const TestDisc& disc) {
        if (!disc.ok()) {
            return false;
        }
        engine->StartThread(disc.cd(), theTransport.volumeDb.load(), m_runLog);
        return waitUntil([&] { return runLog().find("Playback starting") != std::string::npos; });
    }
    // Terminate and delete the engine, as the window's exit path does.
    void end() {
        if (engine) {
            engine->Terminate();
            engine.reset();
        }
    }
    // Plays until the running log holds `text` and then `wakes` more wakes have been handled.
    bool playUntil(const std::string& text, uint32_t wakes) {
        engine->TogglePlay();
        if (!waitUntil([&] { return runLog().find(text) != std::string::npos; })) {
            return false;
        }
        uint32_t from = theTransport.wakesHandled.load();
        return waitUntil([&] { return theTransport.wakesHandled.load() >= from + wakes; });
    }

    std::string startLog() const { return m_startLog.snapshot(); }
    std::string runLog() const {
        if (engine) {
            engine->drainLog();  // as the window's timer does
        }
        return m_runLog.snapshot();
    }
    // Interleaved words of the capture file (after end()).
    std::vector<int32_t> captured() const {
        uint32_t rate = 0;
        std::vector<int32_t> words;
        std::string why;
        EXPECT_TRUE(readCaptureWav(capturePath, rate, words, why)) << why;
        return words;
    }

    DriverRegistry drivers;
    std::string driverName, capturePath;
    DiagnosticsLog m_startLog, m_runLog;
    std::unique_ptr<DspEngine> engine;
};

}  // namespace quoril::test
