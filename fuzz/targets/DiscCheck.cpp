#include "targets/DiscCheck.h"

#include <cstdint>

#include "FuzzTargets.h"
#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "content/RamLoadThread.h"
#include "platform/DiagnosticsLog.h"

namespace quoril::fuzz {
namespace {

// Every row lies within the audio and the rows follow each other without overlap.
void checkTrackTable(const CdDescriptor& disc) {
    if (disc.trackCount < 1 || disc.trackCount > CdDescriptor::kMaxTracks) {
        fuzzFailure("track count outside 1..100");
    }
    if (disc.currentFile < 0 || disc.currentFile >= CdDescriptor::kMaxFiles) {
        fuzzFailure("file index outside the file table");
    }
    if (disc.blockAlign != 4 && disc.blockAlign != 6) {
        fuzzFailure("accepted disc with a frame size other than 4 or 6 bytes");
    }
    const auto frames = static_cast<int64_t>(disc.frameCount);
    int64_t previousStart = 0;
    for (int row = 0; row < disc.trackCount; ++row) {
        const int64_t start = disc.trackStart[row];
        const int64_t length = disc.trackLength[row];
        if (start < 0 || length < 0 || start + length > frames) {
            fuzzFailure("track outside the audio");
        }
        if (start < previousStart) {
            fuzzFailure("track starts before the one above it");
        }
        if (disc.trackFile[row] < 0 || disc.trackFile[row] > disc.currentFile) {
            fuzzFailure("track names a file that is not on the disc");
        }
        if (disc.trackTitle[row].size() > CdDescriptor::kMaxTitleChars) {
            fuzzFailure("track title longer than its field");
        }
        previousStart = start;
    }
    const int64_t audioBytes = frames * disc.blockAlign;
    if (disc.storeBytes() < audioBytes + CdDescriptor::kTailBytes) {
        fuzzFailure("store smaller than the audio and its silent tail");
    }
}

}  // namespace

void openLoadAndCheck(const std::string& path) {
    Settings settings;
    DiagnosticsLog openLog;
    CdDescriptor disc(path, openLog, settings);
    if (openLog.empty()) {
        fuzzFailure("content open left no explanation");
    }
    if (!disc.active) {
        return;
    }
    checkTrackTable(disc);

    DiagnosticsLog loadLog;
    LoadProgress progress{0};
    RamLoadRequest request{&disc, &progress, &loadLog};
    RamLoadThread::run(request);
    if (progress.load() != kLoadFinished) {
        fuzzFailure("load ended without its completion value");
    }
    if (disc.active) {
        checkTrackTable(disc);
    }
}

}  // namespace quoril::fuzz
