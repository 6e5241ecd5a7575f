// The check that decides whether a capture of the demo disc is the disc, bit for bit.

#include <gtest/gtest.h>

#include <algorithm>

#include "CaptureComparison.h"
#include "DiscAudio.h"
#include "support/WavWriter.h"

namespace quoril::demo {
namespace {

constexpr size_t kDiscFrames = 6000;
constexpr size_t kLeading = 1536;

// A disc of noise that starts and ends with ten silent frames.
DiscAudio makeDisc(int bits) {
    DiscAudio disc{44100, static_cast<unsigned>(bits), test::makeSamples(kDiscFrames, bits, 2, 7)};
    std::fill_n(disc.samples.begin(), 20, 0);
    std::fill_n(disc.samples.end() - 20, 20, 0);
    return disc;
}

// What the player puts out: silence while it loads, the disc shifted into 32 bits, silence after.
DiscAudio perfectCapture(const DiscAudio& disc) {
    DiscAudio capture{disc.sampleRate, 32, std::vector<int32_t>(2 * kLeading, 0)};
    for (int32_t s : disc.samples) {
        capture.samples.push_back(
            static_cast<int32_t>(static_cast<uint32_t>(s) << (32 - disc.bitsPerSample)));
    }
    capture.samples.resize(capture.samples.size() + 2 * 2048, 0);
    return capture;
}

// Index of a disc frame's sample in the perfect capture.
constexpr auto at = [](size_t discFrame, int channel = 0) { return 2 * (kLeading + discFrame) + channel; };

struct Case {
    void (*change)(DiscAudio& capture);
    size_t maxUnheard;
    bool matches;
    const char* explanationHas;
    int bits = 16;
};

class CaptureComparisonTest : public ::testing::TestWithParam<Case> {};

TEST_P(CaptureComparisonTest, Decides) {
    const DiscAudio disc = makeDisc(GetParam().bits);
    DiscAudio capture = perfectCapture(disc);
    GetParam().change(capture);
    const CaptureComparison result = compareCapture(disc, capture, GetParam().maxUnheard);
    EXPECT_EQ(result.matches, GetParam().matches) << result.explanation;
    EXPECT_NE(result.explanation.find(GetParam().explanationHas), std::string::npos) << result.explanation;
}

INSTANTIATE_TEST_SUITE_P(
    Captures, CaptureComparisonTest,
    ::testing::Values(
        Case{[](DiscAudio&) {}, 0, true,
             "6000 of 6000 frames (0:00.136) match bit for bit, after 0:00.035 of leading silence"},
        Case{[](DiscAudio& c) { c.samples[at(3000, 1)] += 1 << 16; }, 4096, false,
             "differs from the disc at disc frame 3000 (0:00.068), right channel: expected "},
        Case{[](DiscAudio& c) { std::fill(c.samples.begin() + at(1000), c.samples.begin() + at(1512), 0); },
             8192, false, "falls silent at disc frame 1000 (0:00.023) and has sound again at 1512"},
        Case{[](DiscAudio& c) { std::fill_n(c.samples.begin() + at(5000), 2000, 0); }, 512, false,
             "falls silent at disc frame 5000 (0:00.113), 1000 frames before the end"},
        Case{[](DiscAudio& c) { c.samples.resize(at(kDiscFrames - 400)); }, 1024, true,
             "5600 of 6000 frames (0:00.127) match bit for bit, after 0:00.035 of leading silence; "
             "the last 400 frames (0:00.009) were silenced at the end of the disc",
             24},
        Case{[](DiscAudio& c) { c.samples[at(kDiscFrames + 5)] = 1; }, 4096, false,
             "has sound 0:00.000 after the end of the disc"},
        Case{[](DiscAudio& c) { c.sampleRate = 48000; }, 4096, false,
             "the capture runs at 48000 Hz, the disc at 44100 Hz"}));

}  // namespace
}  // namespace quoril::demo
