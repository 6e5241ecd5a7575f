#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/Commands.h"
#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "content/CdDescriptor.h"
#include "content/Digest.h"
#include "content/RamLoadThread.h"
#include "platform/CFormat.h"
#include "platform/DiagnosticsLog.h"

namespace quoril {

namespace {

void printCheckUsage() {
    std::fputs("usage: quoril --check [--load] PATH\n", stderr);
}

// The log's CR LF line ends as a terminal wants them.
void printText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out.push_back(text[i]);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

void printTracks(const CdDescriptor& disc) {
    for (int row = 0; row < disc.trackCount && row < CdDescriptor::kMaxTracks; ++row) {
        CdTrack track = disc.track(row);
        std::fputs(
            cformat("track %d file %d start %d length %d title ", track.number, static_cast<int>(track.file),
                    static_cast<int>(track.start), static_cast<int>(track.length))
                .c_str(),
            stdout);
        std::fwrite(track.title.data(), 1, track.title.size(), stdout);
        std::fputc('\n', stdout);
    }
}

// Parses the options after "--check". False on a usage error.
bool parseCheckOptions(int argc, char** argv, bool& load, std::string& path) {
    bool havePath = false;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--load") == 0 && !havePath) {
            load = true;
        } else if (std::strncmp(arg, "--", 2) == 0 || havePath) {
            return false;
        } else {
            path = arg;
            havePath = true;
        }
    }
    // A path handed on in double quotes, as a launcher may pass it.
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
        path = path.substr(1, path.size() - 2);
    }
    return havePath;
}

}  // namespace

// Opens a disc as a play session does and prints what the open found; with --load it also
// loads the disc into RAM on the load thread and prints a SHA-256 of the audio in the store, so
// a rip can be verified against a reference decode. Runs alone on the main thread.
int runCheckCommand(int argc, char** argv) {
    bool loadToo = false;
    std::string path;
    if (!parseCheckOptions(argc, argv, loadToo, path)) {
        printCheckUsage();
        return 2;
    }

    // The settings as start-up reads them (defaults when there is no file); their messages are
    // not part of this report. A check plays nothing, so no driver is loaded (nor waited for).
    DiagnosticsLog settingsLog;
    loadSettings("SOFTWARE\\Ravek", "Quoril.ini", settingsLog, [](Settings&) { return false; });

    DiagnosticsLog openLog;
    CdDescriptor disc(path, openLog, settings());
    printText(openLog.snapshot());
    printTracks(disc);
    // A disc that did not open has no frame count or format of its own, only stand-by values.
    if (disc.active) {
        std::fputs(cformat("disc frames %lld rate %lld bits %lld files %d\n",
                           static_cast<long long>(disc.frameCount), static_cast<long long>(disc.sampleRate),
                           static_cast<long long>(disc.bitsPerSample), disc.currentFile + 1)
                       .c_str(),
                   stdout);
    }

    if (loadToo && disc.active) {
        DiagnosticsLog loadLog;
        LoadProgress progress{0};
        RamLoadThread thread;
        // The load's workers feed the digest as the store fills, overlapping the decode.
        Digest digest(Digest::Sha256);
        auto started = std::chrono::steady_clock::now();
        if (!thread.start({&disc, &progress, &loadLog, &digest})) {
            loadLog.append("Cannot load content file. Thread could not be started.\r\n");
            disc.active = false;
            progress.store(kLoadFinished, std::memory_order_release);
        }
        // The thread's end comes after its -1; joining waits for both.
        thread.join();
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (progress.load(std::memory_order_acquire) != kLoadFinished) {
            loadLog.append("RAM load ended without reporting its end.\r\n");
            disc.active = false;
        }
        printText(loadLog.snapshot());
        printTracks(disc);
        const size_t bytes = std::min(static_cast<size_t>(disc.frameCount) * disc.blockAlign,
                                      static_cast<size_t>(disc.storeBytes()));
        std::printf("sha256 %s\n", Digest::hex(digest.finish()).c_str());
        double megabytesPerSecond = seconds > 0 ? static_cast<double>(bytes) / 1048576.0 / seconds : 0.0;
        std::fputs(cformat("load %.3f s %.1f MB/s\n", seconds, megabytesPerSecond).c_str(), stdout);
    }
    std::fflush(stdout);
    return disc.active ? 0 : 1;
}

}  // namespace quoril
