// quoril-demo-disc: writes the demo disc, and compares a capture of the player's output with a disc.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "CaptureComparison.h"
#include "DemoDisc.h"
#include "DiscAudio.h"

namespace {

using namespace quoril::demo;

void printUsage(FILE* out) {
    std::fputs(
        "usage: quoril-demo-disc OUTDIR\n"
        "           compose the demo disc and write it as FLAC files and OUTDIR/demo.cue\n"
        "       quoril-demo-disc --compare CAPTURE.wav DISC [--max-unheard FRAMES]\n"
        "           check that a capture of the player's output holds the disc (a .cue, .flac or .wav)\n"
        "           bit for bit; FRAMES (default 4096) is how much of the disc's end may have been "
        "silenced\n",
        out);
}

int generate(const std::string& dir) {
    const DemoDisc disc = composeDemoDisc();
    std::string error;
    if (!writeDemoDisc(disc, dir, error)) {
        std::fprintf(stderr, "quoril-demo-disc: %s\n", error.c_str());
        return 1;
    }
    size_t total = 0;
    for (const DemoTrack& track : disc.tracks) {
        total += track.frames();
    }
    const std::string cue = (std::filesystem::path(dir) / kDemoCueName).string();
    std::printf("Demo disc \"%s\" by %s: %zu tracks, %s, written to %s\n", disc.title.c_str(),
                disc.performer.c_str(), disc.tracks.size(), frameTime(total, kDemoSampleRate).c_str(),
                cue.c_str());
    for (size_t t = 0; t < disc.tracks.size(); ++t) {
        std::printf("  %02zu  %-24s %s  %s\n", t + 1, disc.tracks[t].title.c_str(),
                    frameTime(disc.tracks[t].frames(), kDemoSampleRate).c_str(),
                    disc.tracks[t].fileName.c_str());
    }
    return 0;
}

int compare(int argc, char** argv) {
    if (argc != 4 && argc != 6) {
        printUsage(stderr);
        return 2;
    }
    size_t maxUnheard = 4096;
    if (argc == 6) {
        char* end = nullptr;
        const long value = std::strtol(argv[5], &end, 10);
        if (std::strcmp(argv[4], "--max-unheard") != 0 || *end != '\0' || value < 0) {
            printUsage(stderr);
            return 2;
        }
        maxUnheard = static_cast<size_t>(value);
    }
    std::string error;
    DiscAudio capture;
    DiscAudio disc;
    if (!readWavFile(argv[2], capture, error) || !readDiscAudio(argv[3], disc, error)) {
        std::fprintf(stderr, "quoril-demo-disc: %s\n", error.c_str());
        return 2;
    }
    const CaptureComparison result = compareCapture(disc, capture, maxUnheard);
    if (!result.matches) {
        std::printf("MISMATCH: %s does not hold %s: %s\n", argv[2], argv[3], result.explanation.c_str());
        return 1;
    }
    std::printf("MATCH: %s holds %s: %s\n", argv[2], argv[3], result.explanation.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--compare") == 0) {
        return compare(argc, argv);
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        printUsage(stderr);
        return 2;
    }
    return generate(argv[1]);
}
