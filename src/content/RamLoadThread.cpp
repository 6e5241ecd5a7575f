#include "content/RamLoadThread.h"

#include <algorithm>
#include <system_error>

#include "content/CdDescriptor.h"
#include "platform/DiagnosticsLog.h"
#include "platform/LockedMemory.h"

namespace quoril {

namespace {

// Fresh pages cost far more to fault in than to fill, and a FLAC decode keeps one core busy.
// A second thread faults the store in ahead of the loader (without touching its content), so the
// two costs overlap instead of adding up. The loader never waits for it.
class StorePrefault {
  public:
    StorePrefault(uint8_t* start, int64_t bytes, const std::atomic<bool>* stop) {
        if (start == nullptr || bytes <= 0) {
            return;
        }
        try {
            m_thread = std::thread([this, start, bytes, stop] {
                constexpr int64_t kStep = 8 << 20;
                for (int64_t offset = 0; offset < bytes; offset += kStep) {
                    if (m_done.load(std::memory_order_relaxed) ||
                        (stop != nullptr && stop->load(std::memory_order_relaxed))) {
                        return;
                    }
                    if (!populateMemory(start + offset,
                                        static_cast<size_t>(std::min(kStep, bytes - offset)))) {
                        return;
                    }
                }
            });
        } catch (const std::system_error&) {
            // Without the helper the loader faults the pages in itself.
        }
    }
    ~StorePrefault() {
        m_done.store(true, std::memory_order_relaxed);
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

  private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

}  // namespace

RamLoadThread::~RamLoadThread() {
    requestStop();
    join();
}

bool RamLoadThread::start(const RamLoadRequest& request) {
    if (m_thread.joinable() || request.disc == nullptr || request.progress == nullptr ||
        request.log == nullptr) {
        return false;
    }
    m_stop.store(false, std::memory_order_relaxed);
    try {
        m_thread = std::thread([this, request] { run(request, &m_stop); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void RamLoadThread::join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

int RamLoadThread::run(const RamLoadRequest& request, const std::atomic<bool>* stop) noexcept {
    CdDescriptor& disc = *request.disc;
    LoadProgress& progress = *request.progress;
    DiagnosticsLog& log = *request.log;
    auto stopped = [stop] { return stop != nullptr && stop->load(std::memory_order_relaxed); };

    progress.store(0, std::memory_order_relaxed);
    const int lastFile = disc.currentFile;
    uint8_t* const storeStart = disc.audioData;

    try {
        StorePrefault prefault(storeStart, disc.storeBytes(), stop);
        log.append("RAM Loading...\r\n");
        int64_t loadedBytes = 0;
        for (int i = 0; storeStart != nullptr && i <= lastFile; ++i) {
            disc.currentFile = static_cast<int16_t>(i);
            log.append("     File '" + disc.filePath[i] + "'\r\n");
            disc.byteCount = disc.fileByteCount[i] + (i == lastFile ? CdDescriptor::kTailBytes : 0);
            disc.frameCount = disc.fileFrameCount[i];
            if (disc.fileIsFlac[i]) {
                disc.DecodeFlacFile(progress, log, stop);
            } else {
                disc.ReadWavFile(progress, log, stop);
            }
            loadedBytes += static_cast<int64_t>(disc.frameCount) * disc.blockAlign;
            if (stopped()) {
                disc.active = false;
            }
            if (!disc.active || i == lastFile) {
                break;
            }
            // The next file begins right after the frames actually loaded from this one.
            disc.audioData = storeStart + loadedBytes;
        }
    } catch (...) {
        // Only the log's own allocation can throw here; the load ends as a failed one.
        disc.active = false;
    }

    double frames = 0;
    int64_t bytes = 0;
    for (int i = 0; i <= lastFile; ++i) {
        frames += disc.fileFrameCount[i];
        bytes += disc.fileByteCount[i];
    }
    disc.currentFile = static_cast<int16_t>(lastFile);
    disc.audioData = storeStart;
    disc.frameCount = frames;
    disc.byteCount = bytes + CdDescriptor::kTailBytes;
    progress.store(kLoadFinished, std::memory_order_release);
    return 0;
}

}  // namespace quoril
