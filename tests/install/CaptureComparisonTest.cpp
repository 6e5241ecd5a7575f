#include "CaptureComparison.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "DiscAudio.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril::demo {
namespace {

constexpr size_t kDiscFrames = 6000;
constexpr size_t kLeading = 1536;

DiscAudio makeDisc() {
    DiscAudio disc;
    disc.sampleRate = 44100;
    disc.bitsPerSample = 16;
    disc.samples = test::makeSamples(kDiscFrames, 16, 2, 7);
    // A disc starts and ends quietly: the first and last frames are silent.
    for (size_t i = 0; i < 2 * 10; ++i) {
        disc.samples[i] = 0;
        disc.samples[disc.samples.size() - 1 - i] = 0;
    }
    return disc;
}

// What the player puts out for the disc: silence while it loads, every frame shifted into 32 bits,
// then silence after the end.
DiscAudio perfectCapture(const DiscAudio& disc, size_t leading = kLeading, size_t trailing = 2048) {
    DiscAudio capture;
    capture.sampleRate = disc.sampleRate;
    capture.bitsPerSample = 32;
    capture.samples.assign(2 * leading, 0);
    for (int32_t s : disc.samples) {
        capture.samples.push_back(
            static_cast<int32_t>(static_cast<uint32_t>(s) << (32 - disc.bitsPerSample)));
    }
    capture.samples.resize(capture.samples.size() + 2 * trailing, 0);
    return capture;
}

struct Case {
    const char* name;
    std::function<void(DiscAudio& capture)> change;
    size_t maxUnheard;
    bool matches;
    const char* explanationHas;
};

class CaptureComparisonTest : public ::testing::TestWithParam<Case> {};

TEST_P(CaptureComparisonTest, Decides) {
    const DiscAudio disc = makeDisc();
    DiscAudio capture = perfectCapture(disc);
    GetParam().change(capture);
    const CaptureComparison result = compareCapture(disc, capture, GetParam().maxUnheard);
    EXPECT_EQ(result.matches, GetParam().matches) << result.explanation;
    EXPECT_NE(result.explanation.find(GetParam().explanationHas), std::string::npos) << result.explanation;
}

size_t sampleIndex(size_t discFrame, int channel) {
    return 2 * (kLeading + discFrame) + channel;
}

INSTANTIATE_TEST_SUITE_P(
    Captures, CaptureComparisonTest,
    ::testing::Values(
        Case{"AnExactCaptureMatchesAfterItsLeadingSilence", [](DiscAudio&) {}, 0, true, "after 0:00.035"},
        Case{"OneSampleOffByOneStepDoesNotMatch",
             [](DiscAudio& c) { c.samples[sampleIndex(3000, 1)] += 1 << 16; }, 4096, false,
             "disc frame 3000 (0:00.068), right channel"},
        Case{"AnUnshiftedSampleDoesNotMatch", [](DiscAudio& c) { c.samples[sampleIndex(100, 0)] >>= 16; },
             4096, false, "disc frame 100"},
        Case{"SwappedChannelsDoNotMatch",
             [](DiscAudio& c) {
                 for (size_t f = 0; f < kDiscFrames; ++f) {
                     std::swap(c.samples[sampleIndex(f, 0)], c.samples[sampleIndex(f, 1)]);
                 }
             },
             4096, false, "differs"},
        Case{"ASilentGapInTheMiddleDoesNotMatch",
             [](DiscAudio& c) {
                 std::fill(c.samples.begin() + sampleIndex(1000, 0), c.samples.begin() + sampleIndex(1512, 0),
                           0);
             },
             8192, false, "falls silent at disc frame 1000 (0:00.023) and has sound again at 1512"},
        Case{"ADroppedBlockInTheMiddleDoesNotMatch",
             [](DiscAudio& c) {
                 c.samples.erase(c.samples.begin() + sampleIndex(2048, 0),
                                 c.samples.begin() + sampleIndex(2560, 0));
             },
             4096, false, "disc frame 2048"},
        Case{"TheEndSilencedWithinTheAllowanceMatches",
             [](DiscAudio& c) {
                 for (size_t f = kDiscFrames - 1000; f < kDiscFrames; ++f) {
                     c.samples[sampleIndex(f, 0)] = c.samples[sampleIndex(f, 1)] = 0;
                 }
             },
             1024, true, "the last"},
        Case{"TheEndSilencedBeyondTheAllowanceDoesNotMatch",
             [](DiscAudio& c) {
                 for (size_t f = kDiscFrames - 1000; f < kDiscFrames; ++f) {
                     c.samples[sampleIndex(f, 0)] = c.samples[sampleIndex(f, 1)] = 0;
                 }
             },
             512, false, "falls silent"},
        Case{"ACaptureCutShortWithinTheAllowanceMatches",
             [](DiscAudio& c) { c.samples.resize(sampleIndex(kDiscFrames - 300, 0)); }, 1024, true,
             "the last"},
        Case{"SoundAfterTheEndOfTheDiscDoesNotMatch",
             [](DiscAudio& c) { c.samples[sampleIndex(kDiscFrames + 5, 0)] = 1; }, 4096, false,
             "after the end of the disc"},
        Case{"ASilentCaptureDoesNotMatch",
             [](DiscAudio& c) { std::fill(c.samples.begin(), c.samples.end(), 0); }, 4096, false,
             "the capture is silent"},
        Case{"ACaptureAtAnotherRateDoesNotMatch", [](DiscAudio& c) { c.sampleRate = 48000; }, 4096, false,
             "48000 Hz"},
        Case{"ASixteenBitCaptureDoesNotMatch", [](DiscAudio& c) { c.bitsPerSample = 16; }, 4096, false,
             "16-bit"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(CaptureComparison, CountsTheLeadingSilenceAndTheUnheardEnd) {
    const DiscAudio disc = makeDisc();
    DiscAudio capture = perfectCapture(disc, 777, 0);
    capture.samples.resize(capture.samples.size() - 2 * 400);
    const CaptureComparison result = compareCapture(disc, capture, 4096);
    ASSERT_TRUE(result.matches) << result.explanation;
    EXPECT_EQ(result.leadingFrames, 777u);
    EXPECT_EQ(result.discFrames, kDiscFrames);
    // The last 400 frames never reached the capture.
    EXPECT_EQ(result.matchedFrames, kDiscFrames - 400);
    EXPECT_EQ(result.unheardFrames, 400u);
}

TEST(CaptureComparison, TwentyFourBitDiscsAreShiftedByEight) {
    DiscAudio disc;
    disc.sampleRate = 96000;
    disc.bitsPerSample = 24;
    disc.samples = test::makeSamples(2000, 24, 2, 3);
    const CaptureComparison result = compareCapture(disc, perfectCapture(disc, 64, 64), 0);
    EXPECT_TRUE(result.matches) << result.explanation;
}

TEST(DiscAudioReading, WavFilesOfEverySizeReadBackSignExtended) {
    test::TempDir dir;
    for (int bits : {16, 24, 32}) {
        const std::vector<int32_t> samples = test::makeSamples(500, bits, 2, 11);
        const std::string path = dir.file("a" + std::to_string(bits) + ".wav");
        ASSERT_TRUE(test::WavWriter(bits).samples(samples).write(path));
        DiscAudio audio;
        std::string error;
        ASSERT_TRUE(readWavFile(path, audio, error)) << error;
        EXPECT_EQ(audio.bitsPerSample, static_cast<unsigned>(bits));
        EXPECT_EQ(audio.samples, samples) << bits << " bits";
    }
}

TEST(DiscAudioReading, ACaptureWhoseHeaderWasNeverCompletedReadsToTheEndOfTheFile) {
    test::TempDir dir;
    const std::vector<int32_t> samples = test::makeSamples(300, 32, 2, 5);
    const std::string path = dir.file("capture.wav");
    ASSERT_TRUE(test::WavWriter(32).samples(samples).declaredDataSize(0).write(path));
    DiscAudio audio;
    std::string error;
    ASSERT_TRUE(readWavFile(path, audio, error)) << error;
    EXPECT_EQ(audio.samples, samples);
}

TEST(DiscAudioReading, MonoAndEightBitWavFilesAreRefused) {
    test::TempDir dir;
    DiscAudio audio;
    std::string error;
    ASSERT_TRUE(test::WavWriter(16, 1).samples(test::makeSamples(100, 16, 1)).write(dir.file("mono.wav")));
    EXPECT_FALSE(readWavFile(dir.file("mono.wav"), audio, error));
    EXPECT_NE(error.find("stereo"), std::string::npos) << error;
    ASSERT_TRUE(test::WavWriter(8, 2).samples(test::makeSamples(100, 8, 2)).write(dir.file("eight.wav")));
    EXPECT_FALSE(readWavFile(dir.file("eight.wav"), audio, error));
}

TEST(DiscAudioReading, CueSheetFilesResolveAgainstTheSheetsFolder) {
    test::TempDir dir;
    const std::string cue = dir.write("sub/disc.cue",
                                      "PERFORMER \"x\"\n"
                                      "FILE \"a.wav\" WAVE\n"
                                      "  TRACK 01 AUDIO\n"
                                      "FILE \"more\\b.flac\" WAVE\n"
                                      "FILE \"/abs/c.wav\" WAVE\n"
                                      "file \"ignored.wav\" WAVE\n"
                                      "FILE \"\" WAVE\n");
    std::string error;
    const std::vector<std::string> expected = {dir.file("sub/a.wav"), dir.file("sub/more/b.flac"),
                                               "/abs/c.wav"};
    EXPECT_EQ(cueSheetFiles(cue, error), expected);
}

TEST(DiscAudioReading, ADiscOfFilesAtDifferentRatesIsRefused) {
    test::TempDir dir;
    ASSERT_TRUE(test::WavWriter(16, 2, 44100).samples(test::makeSamples(100)).write(dir.file("a.wav")));
    ASSERT_TRUE(test::WavWriter(16, 2, 48000).samples(test::makeSamples(100)).write(dir.file("b.wav")));
    const std::string cue = dir.write("d.cue", "FILE \"a.wav\" WAVE\nFILE \"b.wav\" WAVE\n");
    DiscAudio audio;
    std::string error;
    EXPECT_FALSE(readDiscAudio(cue, audio, error));
    EXPECT_NE(error.find("b.wav"), std::string::npos) << error;
}

}  // namespace
}  // namespace quoril::demo
