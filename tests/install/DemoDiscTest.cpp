#include "DemoDisc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <set>

#include "DiscAudio.h"
#include "support/TempDir.h"

namespace quoril::demo {
namespace {

// Rendering the disc takes a few seconds, so the tests share one.
class DemoDiscTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { s_disc = new DemoDisc(composeDemoDisc()); }
    static void TearDownTestSuite() {
        delete s_disc;
        s_disc = nullptr;
    }
    static const DemoDisc& disc() { return *s_disc; }

  private:
    static DemoDisc* s_disc;
};

DemoDisc* DemoDiscTest::s_disc = nullptr;

// Energy of one frequency in a stretch of the left channel (Goertzel).
double energyAt(const std::vector<int16_t>& samples, size_t first, size_t count, double frequency) {
    const double w = 2.0 * std::numbers::pi * frequency / kDemoSampleRate;
    const double c = 2.0 * std::cos(w);
    double s1 = 0.0;
    double s2 = 0.0;
    for (size_t i = first; i < first + count; ++i) {
        const double s0 = samples[2 * i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// The pitch class (0 = C) strongest in the bass register over a stretch.
int strongestBassPitchClass(const std::vector<int16_t>& samples, size_t first, size_t count) {
    int best = 0;
    double bestEnergy = -1.0;
    for (int pc = 0; pc < 12; ++pc) {
        double energy = 0.0;
        for (int octave = 3; octave <= 4; ++octave) {  // MIDI 36..59: C2 to B3
            const int midi = 12 * octave + pc;
            energy += energyAt(samples, first, count, 440.0 * std::pow(2.0, (midi - 69) / 12.0));
        }
        if (energy > bestEnergy) {
            bestEnergy = energy;
            best = pc;
        }
    }
    return best;
}

TEST_F(DemoDiscTest, IsAFewTracksOfWholeSectorsEachWithATitleAndItsOwnFile) {
    ASSERT_GE(disc().tracks.size(), 3u);
    std::set<std::string> files;
    for (const DemoTrack& track : disc().tracks) {
        EXPECT_FALSE(track.title.empty());
        EXPECT_EQ(track.samples.size() % 2, 0u);
        EXPECT_EQ(track.frames() % kFramesPerSector, 0u) << track.title;
        EXPECT_GE(track.frames(), 10u * kDemoSampleRate) << track.title;
        EXPECT_LE(track.frames(), 60u * kDemoSampleRate) << track.title;
        EXPECT_TRUE(files.insert(track.fileName).second) << track.fileName;
        EXPECT_EQ(std::filesystem::path(track.fileName).extension(), ".flac");
    }
    EXPECT_FALSE(disc().title.empty());
    EXPECT_FALSE(disc().performer.empty());
}

TEST_F(DemoDiscTest, EveryTrackMovesThroughChordsRatherThanHoldingOneTone) {
    for (const DemoTrack& track : disc().tracks) {
        std::set<int> roots;
        for (size_t second = 0; second + 1 < track.frames() / kDemoSampleRate && second < 16; ++second) {
            roots.insert(strongestBassPitchClass(track.samples, second * kDemoSampleRate, kDemoSampleRate));
        }
        EXPECT_GE(roots.size(), 3u) << track.title;
    }
}

TEST_F(DemoDiscTest, IsLoudWithoutClippingAndUsesBothChannels) {
    int peak = 0;
    for (const DemoTrack& track : disc().tracks) {
        double sumSquares = 0.0;
        size_t different = 0;
        for (size_t i = 0; i < track.frames(); ++i) {
            const int l = track.samples[2 * i];
            const int r = track.samples[2 * i + 1];
            peak = std::max({peak, std::abs(l), std::abs(r)});
            sumSquares += static_cast<double>(l) * l;
            different += l != r;
        }
        const double rmsDb = 10.0 * std::log10(sumSquares / track.frames()) - 20.0 * std::log10(32768.0);
        EXPECT_GT(rmsDb, -30.0) << track.title;
        EXPECT_GT(different, track.frames() / 2) << track.title << ": left and right should differ";
        // The tracks end in silence, so the disc does not stop on a click.
        const size_t last = track.frames() - 1;
        EXPECT_LT(std::abs(track.samples[2 * last]), 64) << track.title;
    }
    // One gain for the disc puts its loudest sample at -1 dBFS; nothing reaches full scale.
    EXPECT_NEAR(peak, 29195, 2);
}

TEST_F(DemoDiscTest, TheFlacFilesHoldExactlyTheComposedSamples) {
    test::TempDir dir;
    std::string error;
    ASSERT_TRUE(writeDemoDisc(disc(), dir.file("disc"), error)) << error;
    for (const DemoTrack& track : disc().tracks) {
        DiscAudio audio;
        ASSERT_TRUE(readFlacFile(dir.file("disc/" + track.fileName), audio, error)) << error;
        EXPECT_EQ(audio.sampleRate, 44100u);
        EXPECT_EQ(audio.bitsPerSample, 16u);
        ASSERT_EQ(audio.samples.size(), track.samples.size()) << track.title;
        EXPECT_TRUE(std::equal(audio.samples.begin(), audio.samples.end(), track.samples.begin()))
            << track.title;
    }
    // The cue sheet reads back to the same disc: every file in order, one after the other.
    DiscAudio whole;
    ASSERT_TRUE(readDiscAudio(dir.file("disc/demo.cue"), whole, error)) << error;
    size_t offset = 0;
    for (const DemoTrack& track : disc().tracks) {
        ASSERT_LE(offset + track.samples.size(), whole.samples.size());
        EXPECT_TRUE(std::equal(track.samples.begin(), track.samples.end(), whole.samples.begin() + offset));
        offset += track.samples.size();
    }
    EXPECT_EQ(offset, whole.samples.size());
}

TEST_F(DemoDiscTest, TheCueSheetPutsEveryLineInTheColumnsThePlayerReads) {
    const std::string expected =
        "REM GENRE \"Ambient\"\n"
        "REM DATE 2026\n"
        "REM COMMENT \"Composed and rendered by quoril-demo-disc\"\n"
        "PERFORMER \"The Quoril Players\"\n"
        "TITLE \"First Light\"\n"
        "FILE \"01-morning-chords.flac\" WAVE\n"
        "  TRACK 01 AUDIO\n"
        "    TITLE \"Morning Chords\"\n"
        "    PERFORMER \"The Quoril Players\"\n"
        "    INDEX 01 00:00:00\n"
        "FILE \"02-open-window-arpeggio.flac\" WAVE\n"
        "  TRACK 02 AUDIO\n"
        "    TITLE \"Open Window Arpeggio\"\n"
        "    PERFORMER \"The Quoril Players\"\n"
        "    INDEX 01 00:00:00\n"
        "FILE \"03-walking-bass-at-noon.flac\" WAVE\n"
        "  TRACK 03 AUDIO\n"
        "    TITLE \"Walking Bass at Noon\"\n"
        "    PERFORMER \"The Quoril Players\"\n"
        "    INDEX 01 00:00:00\n"
        "FILE \"04-evening-slowly.flac\" WAVE\n"
        "  TRACK 04 AUDIO\n"
        "    TITLE \"Evening, Slowly\"\n"
        "    PERFORMER \"The Quoril Players\"\n"
        "    INDEX 01 00:00:00\n";
    EXPECT_EQ(cueSheetText(disc()), expected);
}

TEST_F(DemoDiscTest, AFailedWriteLeavesNoCueSheetBehind) {
    test::TempDir dir;
    // A directory where the third FLAC file should go: the encoder cannot create it.
    std::filesystem::create_directories(dir.file("disc/" + disc().tracks[2].fileName));
    std::string error;
    EXPECT_FALSE(writeDemoDisc(disc(), dir.file("disc"), error));
    EXPECT_NE(error.find(disc().tracks[2].fileName), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.file("disc/demo.cue")));
}

}  // namespace
}  // namespace quoril::demo
