#include "DemoDisc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "CaptureComparison.h"
#include "DiscAudio.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril::demo {
namespace {

// Rendering the disc takes a few seconds, so the tests share one.
const DemoDisc& disc() {
    static const DemoDisc composed = composeDemoDisc();
    return composed;
}

TEST(DemoDisc, EveryTrackIsWholeSectorsInStereoAndEndsInSilenceAndPeaksAtMinusOneDecibel) {
    int peak = 0;
    for (const DemoTrack& track : disc().tracks) {
        EXPECT_EQ(track.frames() % kFramesPerSector, 0u) << track.title;
        size_t different = 0;
        for (size_t i = 0; i < track.frames(); ++i) {
            const int l = track.samples[2 * i];
            const int r = track.samples[2 * i + 1];
            peak = std::max({peak, std::abs(l), std::abs(r)});
            different += l != r;
        }
        EXPECT_GT(different, track.frames() / 2) << track.title << ": left and right should differ";
        EXPECT_LT(std::abs(track.samples[track.samples.size() - 2]), 64) << track.title << " ends on a click";
    }
    // One gain for the whole disc, so nothing clips.
    EXPECT_NEAR(peak, 29195, 2);
}

TEST(DemoDisc, TheFilesTheCueSheetNamesHoldExactlyTheComposedSamplesAndAFailedWriteLeavesNoCueSheet) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(writeDemoDisc(disc(), dir.file("disc"), error)) << error;
    DiscAudio whole;
    ASSERT_TRUE(readDiscAudio(dir.file("disc/demo.cue"), whole, error)) << error;
    EXPECT_EQ(whole.sampleRate, 44100u);
    EXPECT_EQ(whole.bitsPerSample, 16u);
    std::vector<int32_t> composed;
    for (const DemoTrack& track : disc().tracks) {
        composed.insert(composed.end(), track.samples.begin(), track.samples.end());
    }
    EXPECT_TRUE(whole.samples == composed);

    // A directory where the third FLAC file should go: the encoder cannot create it.
    std::filesystem::create_directories(dir.file("broken/" + disc().tracks[2].fileName));
    EXPECT_FALSE(writeDemoDisc(disc(), dir.file("broken"), error));
    EXPECT_NE(error.find(disc().tracks[2].fileName), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.file("broken/demo.cue")));
}

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

void silenceTheLast1000Frames(DiscAudio& c) {
    std::fill(c.samples.begin() + at(kDiscFrames - 1000), c.samples.begin() + at(kDiscFrames), 0);
}

struct Case {
    const char* name;
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
        Case{"AnExactCaptureMatches", [](DiscAudio&) {}, 0, true,
             "6000 of 6000 frames (0:00.136) match bit for bit, after 0:00.035 of leading silence"},
        Case{"OneSampleOffByOneStepDoesNotMatch", [](DiscAudio& c) { c.samples[at(3000, 1)] += 1 << 16; },
             4096, false, "differs from the disc at disc frame 3000 (0:00.068), right channel: expected "},
        Case{"AStrayBitBelowTheSampleDoesNotMatch", [](DiscAudio& c) { c.samples[at(100)] |= 1; }, 4096,
             false, "disc frame 100 "},
        Case{"ASilentGapInTheMiddleDoesNotMatch",
             [](DiscAudio& c) { std::fill(c.samples.begin() + at(1000), c.samples.begin() + at(1512), 0); },
             8192, false, "falls silent at disc frame 1000 (0:00.023) and has sound again at 1512"},
        Case{"TheEndSilencedWithinTheAllowanceMatches", silenceTheLast1000Frames, 1024, true,
             "; the last 1000 frames (0:00.023) were silenced"},
        Case{"TheEndSilencedBeyondTheAllowanceDoesNotMatch", silenceTheLast1000Frames, 512, false,
             "falls silent at disc frame 5000 (0:00.113), 1000 frames before the end"},
        Case{"ATwentyFourBitCaptureCutShortWithinTheAllowanceMatches",
             [](DiscAudio& c) { c.samples.resize(at(kDiscFrames - 400)); }, 1024, true,
             "5600 of 6000 frames (0:00.127) match bit for bit, after 0:00.035 of leading silence; "
             "the last 400 frames (0:00.009) were silenced at the end of the disc",
             24},
        Case{"SoundAfterTheEndOfTheDiscDoesNotMatch",
             [](DiscAudio& c) { c.samples[at(kDiscFrames + 5)] = 1; }, 4096, false,
             "has sound 0:00.000 after the end of the disc"},
        Case{"ACaptureAtAnotherRateDoesNotMatch", [](DiscAudio& c) { c.sampleRate = 48000; }, 4096, false,
             "the capture runs at 48000 Hz, the disc at 44100 Hz"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(DiscAudioReading, WavFilesOfEverySizeReadBackSignExtendedEvenWhenTheHeaderWasNeverCompleted) {
    test::TempDir dir;
    for (int bits : {16, 24, 32}) {
        for (uint32_t declared : {0u, 1u << 30}) {
            const std::vector<int32_t> samples = test::makeSamples(500, bits, 2, bits);
            ASSERT_TRUE(
                test::WavWriter(bits).samples(samples).declaredDataSize(declared).write(dir.file("a.wav")));
            DiscAudio audio;
            std::string error;
            ASSERT_TRUE(readWavFile(dir.file("a.wav"), audio, error)) << error;
            EXPECT_EQ(audio.bitsPerSample, static_cast<unsigned>(bits));
            EXPECT_EQ(audio.samples, samples) << bits << " bits, declared " << declared;
        }
    }
}

TEST(DiscAudioReading, CueSheetFilesResolveAgainstTheSheetsFolderAndMustShareOneFormat) {
    test::TempDir dir;
    const std::string cue = dir.write("sub/disc.cue",
                                      "PERFORMER \"x\"\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n"
                                      "FILE \"more\\b.wav\" WAVE\nFILE \"/abs/c.wav\" WAVE\n"
                                      "file \"ignored.wav\" WAVE\nFILE \"\" WAVE\n");
    std::string error;
    const std::vector<std::string> expected = {dir.file("sub/a.wav"), dir.file("sub/more/b.wav"),
                                               "/abs/c.wav"};
    EXPECT_EQ(cueSheetFiles(cue, error), expected);

    dir.write("sub/a.wav", test::WavWriter(16, 2, 44100).samples(test::makeSamples(100)).bytes());
    dir.write("sub/more/b.wav", test::WavWriter(16, 2, 48000).samples(test::makeSamples(100)).bytes());
    DiscAudio audio;
    EXPECT_FALSE(readDiscAudio(cue, audio, error));
    EXPECT_EQ(error, expected[1] + " differs in rate or sample size from the files before it");
}

}  // namespace
}  // namespace quoril::demo
