#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace quoril {

class CdDescriptor;
class DiagnosticsLog;
class Digest;

// The RAM-load progress counter: 0 when the load has started, then frames loaded across the
// whole disc (it only rises, up to the disc's frame count), and -1 when the load has ended,
// completed or failed (the disc's `active` tells which). -1 is stored with release order after
// the disc's totals are restored; a reader that loads -1 with acquire order sees final fields.
using LoadProgress = std::atomic<int32_t>;
static_assert(LoadProgress::is_always_lock_free);
inline constexpr int32_t kLoadFinished = -1;

// The load thread's parameter block. The session sets the counter to 0 before starting the load.
struct RamLoadRequest {
    CdDescriptor* disc = nullptr;
    LoadProgress* progress = nullptr;
    DiagnosticsLog* log = nullptr;  // the session's running log
    // When given: reset, then fed the audio bytes of the store in order as they are loaded
    // (after the load it holds all of them, whatever happened); the caller finishes it.
    Digest* storeDigest = nullptr;
};

// Loads every file of an opened (active) disc into its store, on a thread of its own at normal
// priority that hands the work to a pool of workers, one per core (QUORIL_LOAD_THREADS overrides
// the count): the files decode at the same time, each into its own region, and a lone large file
// is split into ranges. The store, the track table and the log come out as a load of one file
// after the other gives them.
class RamLoadThread {
  public:
    RamLoadThread() = default;
    // Asks a running load to stop and waits for it, so the disc may be deleted afterwards.
    ~RamLoadThread();
    RamLoadThread(const RamLoadThread&) = delete;
    RamLoadThread& operator=(const RamLoadThread&) = delete;

    // Starts the load (window thread). False when the thread could not be started (or one is
    // already running); the caller then reports it, clears `active` and sets the counter to -1.
    bool start(const RamLoadRequest& request);
    // Asks the load to end early: the file being loaded stops at its next block, no further
    // file is loaded, `active` is cleared, and the counter still ends at -1. Any thread.
    void requestStop() { m_stop.store(true, std::memory_order_relaxed); }
    // Waits for the thread to end (window thread). The counter is -1 by then.
    void join();
    bool started() const { return m_thread.joinable(); }

    // The number of workers a load uses.
    static int workerCount();

    // The load itself, run on the load thread (tests may call it directly). Returns 0.
    static int run(const RamLoadRequest& request, const std::atomic<bool>* stop = nullptr) noexcept;

  private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

}  // namespace quoril
