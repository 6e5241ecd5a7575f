#include "content/RamLoadThread.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "content/CdDescriptor.h"
#include "content/Digest.h"
#include "content/FlacContentDecoder.h"
#include "platform/DiagnosticsLog.h"
#include "platform/LockedMemory.h"

namespace quoril {

namespace {

// Splitting finer than this costs more in seeks than it gains.
constexpr int64_t kMinRangeFrames = 16384;
// A FLAC file that is split is split into ranges of about this much audio at most.
constexpr int64_t kFlacRangeBytes = 32 << 20;
// WAV files are read in pieces of this size, so that workers share even one large file.
constexpr int64_t kWavPieceBytes = 32 << 20;

// Fresh pages cost far more to fault in than to fill. A helper thread faults the store in ahead of
// a lone worker (without touching its content), so the two costs overlap instead of adding up.
// Nobody waits for it.
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
            // Without the helper the workers fault the pages in themselves.
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

// Feeds a digest with pieces of the store in their order, as pieces complete in any order: the
// worker that completes the next piece due feeds it and every complete one after it.
class OrderedDigest {
  public:
    explicit OrderedDigest(Digest* digest) : m_digest(digest) {}
    // Before any worker starts.
    size_t add(const uint8_t* data, int64_t bytes) {
        m_pieces.push_back({data, bytes});
        m_done.push_back(0);
        return m_pieces.size() - 1;
    }
    // A piece is in place; feeding it is left to drain(), so that a worker that finds this
    // digest busy can feed another one meanwhile.
    void mark(size_t piece) {
        std::lock_guard lock(m_mutex);
        m_done[piece] = 1;
    }
    // Feeds every piece due that is in place, unless another worker is doing so.
    void drain() {
        std::unique_lock lock(m_mutex);
        if (m_busy || m_digest == nullptr) {
            return;
        }
        m_busy = true;
        while (!m_broken && m_next < m_pieces.size() && m_done[m_next] != 0) {
            const auto [data, bytes] = m_pieces[m_next];
            lock.unlock();
            m_digest->update(data, static_cast<size_t>(bytes));
            lock.lock();
            ++m_next;
        }
        m_busy = false;
    }
    // A piece that will not come as planned: the digest is made afresh after the load.
    void breakOff() {
        std::lock_guard lock(m_mutex);
        m_broken = true;
    }
    // After the workers: true when every piece went in.
    bool whole() const { return !m_broken && m_next == m_pieces.size(); }

  private:
    Digest* m_digest;
    std::vector<std::pair<const uint8_t*, int64_t>> m_pieces;
    std::vector<char> m_done;
    std::mutex m_mutex;
    size_t m_next = 0;
    bool m_busy = false;
    bool m_broken = false;
};

// Frames loaded across the disc. The counter shows the sum, never more than the disc's frames
// (a file loaded a second time adds nothing visible), and never less than it showed before.
struct Progress {
    LoadProgress* counter;
    int64_t total;
    std::atomic<int64_t> sum{0};

    static void add(void* context, int64_t frames) {
        auto& self = *static_cast<Progress*>(context);
        const int64_t shown =
            std::min(self.sum.fetch_add(frames, std::memory_order_relaxed) + frames, self.total);
        int32_t seen = self.counter->load(std::memory_order_relaxed);
        while (seen < shown && !self.counter->compare_exchange_weak(seen, static_cast<int32_t>(shown),
                                                                    std::memory_order_relaxed)) {
        }
    }
};

struct FilePlan {
    bool flac = false;
    int64_t start = 0;   // first frame in the store
    int64_t frames = 0;  // frames it loads
    int64_t dataOffset = 0;
    DiagnosticsLog wavText;  // a WAV file's lines, known before its read
    std::vector<size_t> pieces;
    std::unique_ptr<Digest> md5;  // a split FLAC file's signature check
    std::unique_ptr<OrderedDigest> md5Feed;
};

struct Piece {
    int file = 0;
    int64_t first = 0;
    int64_t end = 0;
    size_t md5Slot = 0;
    size_t storeSlot = 0;
    FlacDecodeTarget target;
    DiagnosticsLog text;
    bool clean = false;
};

// One load: the plan of every file, the pieces the workers share, and the serial passes.
class Load {
  public:
    Load(CdDescriptor& disc, const RamLoadRequest& request, const std::atomic<bool>* stop)
        : m_disc(disc), m_request(request), m_stop(stop), m_storeFeed(request.storeDigest) {}

    void run() {
        const int lastFile = m_disc.currentFile;
        m_store = m_disc.audioData;
        m_align = m_disc.blockAlign;
        if (m_request.storeDigest != nullptr) {
            m_request.storeDigest->reset();
        }
        if (m_store == nullptr || m_align == 0) {
            return;
        }
        plan(lastFile);
        const int workers = RamLoadThread::workerCount();
        std::vector<std::thread> pool;
        for (int i = 1; i < workers; ++i) {
            try {
                pool.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;  // fewer workers; this thread is one of them
            }
        }
        work();
        for (std::thread& t : pool) {
            t.join();
        }
        commit(lastFile);
        if (m_request.storeDigest != nullptr && !(m_storeFeed.whole() && m_disc.active)) {
            const double frames = framesOfDisc(lastFile);
            const int64_t bytes =
                std::min<int64_t>(static_cast<int64_t>(frames) * m_disc.blockAlign, m_disc.storeBytes());
            m_request.storeDigest->reset();
            m_request.storeDigest->update(m_store, static_cast<size_t>(bytes));
        }
    }

    double framesOfDisc(int lastFile) const {
        double frames = 0;
        for (int i = 0; i <= lastFile; ++i) {
            frames += m_disc.fileFrameCount[i];
        }
        return frames;
    }

  private:
    bool stopped() const { return m_stop != nullptr && m_stop->load(std::memory_order_relaxed); }

    // Where every file goes and in which pieces it is loaded.
    void plan(int lastFile) {
        const int workers = RamLoadThread::workerCount();
        int flacFiles = 0;
        for (int i = 0; i <= lastFile; ++i) {
            flacFiles += m_disc.fileIsFlac[i] ? 1 : 0;
        }
        const int rangesPerFlac =
            flacFiles == 0 || flacFiles >= workers ? 1 : (workers + flacFiles - 1) / flacFiles;
        int64_t offset = 0;
        m_progress.counter = m_request.progress;
        for (int i = 0; i <= lastFile; ++i) {
            FilePlan& f = m_files.emplace_back();
            f.flac = m_disc.fileIsFlac[i];
            f.start = offset;
            f.frames = f.flac ? static_cast<int64_t>(m_disc.fileFrameCount[i])
                              : m_disc.PlanWavFile(i, f.wavText, f.dataOffset);
            if (f.frames < 0) {
                f.frames = 0;
            }
            int ranges = 1;
            if (f.flac && rangesPerFlac > 1) {
                // A file that is split at all is split finely enough that the signature check of
                // the ranges done overlaps the decoding of the others.
                const int64_t wanted = std::max<int64_t>(rangesPerFlac, f.frames * m_align / kFlacRangeBytes);
                ranges = static_cast<int>(std::clamp<int64_t>(f.frames / kMinRangeFrames, 1, wanted));
            } else {
                ranges = static_cast<int>(std::max<int64_t>(1, f.frames * m_align / kWavPieceBytes));
            }
            if (f.flac && ranges > 1) {
                f.md5 = std::make_unique<Digest>(Digest::Md5);
                f.md5Feed = std::make_unique<OrderedDigest>(f.md5.get());
            }
            uint8_t* region = m_store + f.start * m_align;
            for (int r = 0; r < ranges; ++r) {
                auto piece = std::make_unique<Piece>();
                piece->file = i;
                piece->first = f.frames * r / ranges;
                piece->end = f.frames * (r + 1) / ranges;
                const int64_t bytes = (piece->end - piece->first) * m_align;
                piece->storeSlot = m_storeFeed.add(region + piece->first * m_align, bytes);
                if (f.md5Feed) {
                    piece->md5Slot = f.md5Feed->add(region + piece->first * m_align, bytes);
                }
                FlacDecodeTarget& t = piece->target;
                t.region = region;
                t.limit = f.frames;
                t.ranged = ranges > 1;
                t.first = piece->first;
                t.end = t.ranged ? piece->end : t.end;
                t.bits = i == 0 && !t.ranged ? 0 : static_cast<uint32_t>(m_disc.bitsPerSample);
                t.rate = static_cast<uint32_t>(m_disc.sampleRate);
                t.expectedSamples = static_cast<uint64_t>(f.frames);
                t.stop = const_cast<std::atomic<bool>*>(m_stop);
                t.progress = &Progress::add;
                t.progressContext = &m_progress;
                f.pieces.push_back(m_pieces.size());
                m_pieces.push_back(std::move(piece));
            }
            offset += f.frames;
        }
        m_progress.total = offset;
    }

    void work() {
        for (size_t i = m_nextPiece.fetch_add(1); i < m_pieces.size() && !stopped();
             i = m_nextPiece.fetch_add(1)) {
            Piece& p = *m_pieces[i];
            FilePlan& f = m_files[p.file];
            if (!f.flac) {
                p.clean = m_disc.ReadWavRange(p.file, f.dataOffset, p.target.region, p.first, p.end, m_stop);
                Progress::add(&m_progress, p.end - p.first);
            } else {
                FlacDecodeTarget& t = p.target;
                m_disc.DecodeFlacFile(p.file, t, p.text);
                p.clean = !t.irregular && !t.rejected && !stopped() && t.sawAudioFrame &&
                          t.totalSamples == static_cast<uint64_t>(f.frames) &&
                          t.streamBits == static_cast<uint32_t>(m_disc.bitsPerSample) &&
                          t.streamRate == static_cast<uint32_t>(m_disc.sampleRate);
                if (f.md5Feed) {
                    p.clean ? f.md5Feed->mark(p.md5Slot) : f.md5Feed->breakOff();
                }
            }
            p.clean ? m_storeFeed.mark(p.storeSlot) : m_storeFeed.breakOff();
            if (f.md5Feed) {
                f.md5Feed->drain();
            }
            m_storeFeed.drain();
        }
    }

    // In file order: the log text of each file, the track table after a short WAV file, and,
    // from the first file whose pieces did not load as planned, a load of one file after the
    // other as the reference for what such a file gives.
    void commit(int lastFile) {
        DiagnosticsLog& log = *m_request.log;
        for (int i = 0; i <= lastFile; ++i) {
            if (stopped()) {
                m_disc.active = false;
                return;
            }
            FilePlan& f = m_files[i];
            bool clean = true;
            for (size_t p : f.pieces) {
                clean = clean && m_pieces[p]->clean;
            }
            if (!clean) {
                serialFrom(i, lastFile);
                return;
            }
            log.append("     File '" + m_disc.filePath[i] + "'\r\n");
            if (!f.flac) {
                log.append(f.wavText.snapshot());
                if (f.frames < static_cast<int64_t>(m_disc.fileFrameCount[i])) {
                    m_disc.SettleWavTruncation(i, f.start, f.frames);
                }
                continue;
            }
            if (f.pieces.size() == 1) {
                log.append(m_pieces[f.pieces[0]]->text.snapshot());
                continue;
            }
            log.append("\tFLAC decoding...\r\n");
            for (size_t p : f.pieces) {
                log.append(m_pieces[p]->text.snapshot());
            }
            const FlacDecodeTarget& t = m_pieces[f.pieces[0]]->target;
            static const uint8_t kNoSignature[16] = {};
            if (std::memcmp(t.signature, kNoSignature, 16) != 0 &&
                (!f.md5Feed->whole() || std::memcmp(f.md5->finish().data(), t.signature, 16) != 0)) {
                log.append("\tFLAC MD5 mismatch: decoded audio differs from the signature in the file.\r\n");
            }
        }
    }

    // Loads files `from`..lastFile one after the other, each where the one before ended.
    void serialFrom(int from, int lastFile) {
        DiagnosticsLog& log = *m_request.log;
        m_storeFeed.breakOff();
        uint8_t* const storeEnd = m_disc.storeStart() + m_disc.storeBytes();
        uint8_t* at = m_store + m_files[from].start * m_align;
        // Whatever the workers put from here on is not where this load puts it.
        std::memset(at, 0, static_cast<size_t>(storeEnd - at));
        for (int i = from; i <= lastFile && !stopped(); ++i) {
            FilePlan& f = m_files[i];
            log.append("     File '" + m_disc.filePath[i] + "'\r\n");
            int64_t frames = 0;
            if (!f.flac) {
                log.append(f.wavText.snapshot());
                frames = f.frames;
                const int64_t fits = (storeEnd - at) / m_disc.blockAlign;
                m_disc.ReadWavRange(i, f.dataOffset, at, 0, std::min(frames, fits), m_stop);
                Progress::add(&m_progress, frames);
                if (frames < static_cast<int64_t>(m_disc.fileFrameCount[i])) {
                    m_disc.SettleWavTruncation(i, (at - m_store) / m_disc.blockAlign, frames);
                }
            } else {
                FlacDecodeTarget t;
                t.region = at;
                t.limit = (storeEnd - at) / m_disc.blockAlign;
                t.bits = i == 0 ? 0 : static_cast<uint32_t>(m_disc.bitsPerSample);
                t.rate = static_cast<uint32_t>(m_disc.sampleRate);
                t.stop = const_cast<std::atomic<bool>*>(m_stop);
                t.progress = &Progress::add;
                t.progressContext = &m_progress;
                DiagnosticsLog text;
                m_disc.DecodeFlacFile(i, t, text);
                log.append(text.snapshot());
                frames = static_cast<int64_t>(m_disc.fileFrameCount[i]);
                if (t.sawAudioFrame) {
                    frames = static_cast<int64_t>(t.totalSamples);
                    if (!t.rejected) {
                        m_disc.blockAlign = t.streamBits == 16 ? 4 : 6;
                        if (i == 0) {
                            m_disc.bitsPerSample = t.streamBits;
                            m_disc.sampleRate = t.streamRate;
                        }
                    }
                }
                if (t.rejected) {
                    m_disc.active = false;
                    return;
                }
            }
            at = std::min(at + frames * m_disc.blockAlign, storeEnd);
        }
        if (stopped()) {
            m_disc.active = false;
        }
    }

    CdDescriptor& m_disc;
    const RamLoadRequest& m_request;
    const std::atomic<bool>* m_stop;
    uint8_t* m_store = nullptr;
    int64_t m_align = 0;
    Progress m_progress{nullptr, 0};
    OrderedDigest m_storeFeed;
    std::deque<FilePlan> m_files;
    std::vector<std::unique_ptr<Piece>> m_pieces;
    std::atomic<size_t> m_nextPiece{0};
};

}  // namespace

int RamLoadThread::workerCount() {
    if (const char* value = std::getenv("QUORIL_LOAD_THREADS")) {
        const long n = std::strtol(value, nullptr, 10);
        if (n >= 1) {
            return static_cast<int>(std::min(n, 64L));
        }
    }
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

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

    progress.store(0, std::memory_order_relaxed);
    const int lastFile = disc.currentFile;
    uint8_t* const storeStart = disc.audioData;

    try {
        // Several workers fault in the pages of their own pieces side by side; a helper beside
        // them would only take its time from theirs.
        StorePrefault prefault(workerCount() > 1 ? nullptr : storeStart, disc.storeBytes(), stop);
        log.append("RAM Loading...\r\n");
        Load(disc, request, stop).run();
    } catch (...) {
        // Only allocations can throw here; the load ends as a failed one.
        disc.active = false;
    }
    for (int i = 0; i <= lastFile; ++i) {
        if (disc.fileHandle[i] != nullptr) {
            std::fclose(disc.fileHandle[i]);
            disc.fileHandle[i] = nullptr;
        }
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
