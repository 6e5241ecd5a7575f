#include "dsp/DspEngine.h"

#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "asio/Asio.h"
#include "asio/AsioSession.h"
#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "dsp/BlockFill.h"
#include "dsp/BufferCallbacks.h"
#include "dsp/PlaybackThread.h"
#include "dsp/ResamplingPlaybackThread.h"
#include "platform/DiagnosticsLog.h"
#include "platform/NamedEvent.h"
#include "platform/ThreadPriority.h"

namespace quoril {

namespace {

// The two DSP blocks for N up to kStaticBlockFrames: reserved once, so the usual sizes need no
// heap. Zero at program start; cleared again by every engine that uses them.
alignas(64) int32_t staticBlock0[2 * kStaticBlockFrames];
alignas(64) int32_t staticBlock1[2 * kStaticBlockFrames];

bool needsHeapBlocks(int32_t n) {
    return static_cast<int64_t>(n) * 4 > 512000;
}

void pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace

DspEngine::DspEngine(const std::string& driverName, const std::string& installDirectory, double outputRate,
                     uint16_t channelPair, uint16_t converterType, double volumeDb, DiagnosticsLog& log) {
    TransportState& t = theTransport;
    active = false;
    t.reset();
    t.volumeDb.store(volumeDb);
    t.converterType.store(static_cast<int16_t>(converterType));
    cd = nullptr;

    try {
        m_event = std::make_unique<NamedEvent>(kEventName);
    } catch (...) {
        log.append("DSP synchronization cannot be created.\r\n\r\nPlayback cannot occur.");
        return;
    }
    t.dspEvent.store(m_event.get());

    this->driverName.clear();
    // The callbacks start on block 0 at offset 0 of a fresh session.
    t.deviceBlockIndex.store(0);
    t.deviceBlockOffset.store(0);
    t.blockFrames = 0;
    t.dspBlocks[0] = t.dspBlocks[1] = nullptr;
    m_session = std::make_unique<AsioSession>(driverName, outputRate, static_cast<int16_t>(channelPair), log,
                                              dspCallbacks(), settings());
    if (!m_session->initialized()) {
        return;
    }
    m_session->silence();

    this->driverName = driverName;
    t.outputRate.store(m_session->requestedRate());
    const int32_t n = ComputeBlockFrames();
    const auto b = static_cast<int32_t>(m_session->bufferSize());

    log.append("\r\nDSP starting...\r\n");

    // Needed even when the disc will play at its own rate: a missing library is found now,
    // not when a disc at another rate comes along.
    if (!m_resampler.load(installDirectory, log)) {
        return;
    }
    theResampler = &m_resampler;

    int32_t* blocks[2] = {staticBlock0, staticBlock1};
    if (needsHeapBlocks(n)) {
        m_heapBlocks = true;
        blocks[0] = static_cast<int32_t*>(std::calloc(static_cast<size_t>(n) * 8, 1));
        blocks[1] = static_cast<int32_t*>(std::calloc(static_cast<size_t>(n) * 8, 1));
        log.append("\tDSP Buffer allocation not optimal - try lowering ASIO latency\r\n");
        if (blocks[0] == nullptr || blocks[1] == nullptr) {
            std::free(blocks[0]);
            std::free(blocks[1]);
            m_heapBlocks = false;
            log.append("\r\nDSP Buffer allocation failed! DSP NOT started.\r\n");
            return;
        }
    }
    t.dspBlocks[0] = blocks[0];
    t.dspBlocks[1] = blocks[1];

    double rate = m_session->requestedRate();
    log.appendf("\tDSP Buffer (%d samples or %4.0fms/%4.1f/%7.1f) allocation successful\r\n", n,
                n * 1000.0 / rate, rate / n, rate / b);
    zeroBlock(blocks[0], n);
    zeroBlock(blocks[1], n);

    // The callbacks switch blocks only on a whole number of device buffers.
    if (b <= 0 || n <= 0 || n % b != 0) {
        log.appendf("\tASIO Buffer (%d samples) NOT supported! DSP NOT started.\r\n", b);
        return;
    }
    t.blockFrames = n;

    m_session->start();
    if (m_session->initialized()) {
        if (m_session->sampleType() == ASIOSTInt32LSB) {
            active = true;
        } else {
            log.appendf("\tDSP does NOT support ASIO output format (%d)! DSP NOT started.\r\n",
                        static_cast<int>(m_session->sampleType()));
        }
    }
}

DspEngine::~DspEngine() {
    TransportState& t = theTransport;
    if (m_thread.joinable()) {
        // The playback thread goes first: on a reset it may be inside the driver's stop(), so
        // the driver must outlive it. The owner has posted CmdQuit; a thread that never saw it
        // (it was not yet waiting when Terminate ran) is told again, and a thread that still
        // does not end is woken for good by closing the event.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (t.threadRunning.load() && std::chrono::steady_clock::now() < deadline) {
            if (t.transportCommand.load() != CmdQuit) {
                t.post(CmdQuit);
            }
            pause(20);
        }
        if (m_event) {
            m_event->close();
        }
        m_thread.join();
    }
    drainLog();
    if (m_session) {
        // Stops the driver: no callback runs from here on.
        m_session.reset();
        pause(300);
    }
    theResampler = nullptr;
    m_resampler.unload();
    releaseBlocks();
    if (m_event) {
        m_event->close();
        t.dspEvent.store(nullptr);
        m_event.reset();
    }
}

void DspEngine::drainLog() {
    TransportState& t = theTransport;
    DiagnosticsLog* target = t.logTarget.load();
    if (target == nullptr) {
        return;
    }
    t.logQueue.drain([target](const char* line) {
        try {
            target->append(line);
        } catch (...) {
            // Out of memory for the log: the line is lost, playback is not.
        }
    });
}

void DspEngine::releaseBlocks() {
    TransportState& t = theTransport;
    if (m_heapBlocks) {
        std::free(t.dspBlocks[0]);
        std::free(t.dspBlocks[1]);
        m_heapBlocks = false;
    }
    t.dspBlocks[0] = t.dspBlocks[1] = nullptr;
    t.blockFrames = 0;
}

int32_t DspEngine::ComputeBlockFrames() const {
    if (!m_session) {
        return 0;
    }
    return ComputeBlockFrames(static_cast<int32_t>(m_session->bufferSize()), m_session->requestedRate());
}

int32_t DspEngine::ComputeBlockFrames(int32_t bufferSize, double rate) {
    const int32_t b = bufferSize;
    const int32_t base = (b % 32 == 0) ? 192 : 128;
    int32_t m = 1;
    if (rate >= 352800.0) {
        m = 8;
    } else if (rate >= 176400.0) {
        m = 4;
    } else if (rate >= 88200.0) {
        m = 2;
    }
    if (b > 1024 && m > 2) {
        m = 2;
    }
    if (b >= 2048) {
        m = 1;
    }
    int32_t d = 32;
    if (b < 64) {
        d = 1;
    } else if (b < 128) {
        d = 2;
    } else if (b < 256) {
        d = 4;
    } else if (b < 512) {
        d = 8;
    } else if (b < 1024) {
        d = 16;
    }
    return b * m * (base / d);
}

void DspEngine::StartThread(CdDescriptor* disc, double volumeDb, DiagnosticsLog& log) {
    TransportState& t = theTransport;
    t.volumeDb.store(volumeDb);
    t.logTarget.store(&log);
    t.setPosition(0);
    cd = nullptr;

    if (disc == nullptr) {
        active = false;
        log.append("\r\nDSP Thread cannot start: CD is NULL (not defined).\r\n");
        return;
    }
    if (!disc->active.load()) {
        active = false;
        log.append("\r\nDSP Thread cannot start: CD is inactive.\r\n");
        return;
    }
    // One thread per engine, and none without the blocks a successful set-up provides.
    if (!active || m_thread.joinable() || t.blockFrames <= 0) {
        active = false;
        log.append("\r\nDSP Thread FAILED to start.\r\n");
        return;
    }

    cd = disc;
    void (*procedure)(CdDescriptor*) noexcept =
        disc->sampleRate == t.outputRate.load() ? PlaybackThread : ResamplingPlaybackThread;
    try {
        m_thread = std::thread(procedure, disc);
    } catch (...) {
        active = false;
        log.append("\r\nDSP Thread FAILED to start.\r\n");
        return;
    }

    if (!raiseToRealtimePriority(m_thread.native_handle())) {
        // Playback still starts: at normal priority a busy machine may cause late blocks, which
        // the late-block count then reports.
        log.append("DSP Thread NOT set to optimum priority.\r\n\r\n");
    }
    t.post(CmdStart);
}

void DspEngine::TogglePlay() {
    TransportState& t = theTransport;
    if (!m_event || !active || !t.threadRunning.load()) {
        return;
    }
    t.post(t.playing.load() == 1 ? CmdHalt : CmdPlay);
}

void DspEngine::Stop() {
    TransportState& t = theTransport;
    if (!m_event || !active || !t.threadRunning.load()) {
        return;
    }
    t.post(CmdHalt);
    t.setPosition(0);
    drainLog();
    if (DiagnosticsLog* target = t.logTarget.load()) {
        target->append("Playback stopped.\r\n\r\n");
    }
}

void DspEngine::Terminate() {
    TransportState& t = theTransport;
    cd = nullptr;
    drainLog();
    int32_t late = t.lateBlocks.load();
    DiagnosticsLog* target = t.logTarget.load();
    if (late != 0 && target != nullptr) {
        target->appendf("Late DSP blocks: %d\r\n", late);
    }
    if (!m_event || !active || !t.threadRunning.load()) {
        return;
    }
    t.post(CmdQuit);
}

int32_t DspEngine::lateBlocks() const {
    return theTransport.lateBlocks.load();
}

bool DspEngine::threadRunning() const {
    return theTransport.threadRunning.load();
}

}  // namespace quoril
