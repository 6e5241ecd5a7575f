#include "EngineSession.h"

#include <gtest/gtest.h>

#include "SteppedDevice.h"
#include "platform/CFormat.h"

namespace quoril::test {

std::unique_ptr<EngineSession> EngineSession::onCapture(long bufferSize, double deviceRate, double speed) {
    std::unique_ptr<EngineSession> session(new EngineSession());
    session->m_driverName = kCaptureName;
    session->m_capture = session->m_drivers.dir().file("capture.wav");
    DriverRegistry& drivers = session->m_drivers;
    drivers.addCaptureDriver();
    drivers.set(kCaptureName, "File", session->m_capture);
    drivers.set(kCaptureName, "Speed", cformat("%g", speed));
    drivers.setDword(kCaptureName, "BufferSize", static_cast<uint32_t>(bufferSize));
    drivers.set(kCaptureName, "Rate", cformat("%.4f", deviceRate));
    drivers.save();
    return session;
}

std::unique_ptr<EngineSession> EngineSession::onFault() {
    std::unique_ptr<EngineSession> session(new EngineSession());
    session->m_driverName = "Fault";
    session->m_drivers.addFaultDriver("Fault", 1);
    session->m_drivers.save();
    return session;
}

EngineSession::~EngineSession() {
    end();
}

bool EngineSession::open(double outputRate, uint16_t converterType, double volumeDb) {
    m_drivers.save();
    m_engine = std::make_unique<DspEngine>(m_driverName, m_drivers.dir().path(), outputRate, 0, converterType,
                                           volumeDb, m_startLog);
    return m_engine->active;
}

bool EngineSession::start(CdDescriptor* cd) {
    m_engine->StartThread(cd, theTransport.volumeDb.load(), m_runLog);
    return waitUntil([&] { return m_runLog.snapshot().find("Playback starting") != std::string::npos; });
}

void EngineSession::end() {
    if (m_engine) {
        m_engine->Terminate();
        m_engine.reset();
    }
}

std::vector<int32_t> EngineSession::captured(uint32_t* rate) const {
    uint32_t fileRate = 0;
    std::vector<int32_t> samples;
    std::string why;
    if (!readCaptureWav(m_capture, fileRate, samples, why)) {
        ADD_FAILURE() << "capture file: " << why;
    }
    if (rate != nullptr) {
        *rate = fileRate;
    }
    return samples;
}

long firstSoundFrame(const std::vector<int32_t>& words) {
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] != 0) {
            return static_cast<long>(i / 2);
        }
    }
    return -1;
}

int countOf(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) {
        ++count;
    }
    return count;
}

}  // namespace quoril::test
