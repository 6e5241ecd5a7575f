#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ContentTestSupport.h"

namespace quoril::test {
namespace {

class RamLoadThreadTest : public ContentTest {
  protected:
    std::string threeFileSheet(const std::string& second) {
        return cue("disc.cue",
                   "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                   "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n"
                   "FILE \"" +
                       second +
                       "\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n"
                       "  TRACK 04 AUDIO\n    INDEX 01 00:02:00\n"
                       "FILE \"c.wav\" WAVE\n  TRACK 05 AUDIO\n    INDEX 01 00:00:00\n");
    }

    // Waits for the counter to reach -1, for at most the deadline.
    bool waitForEnd(std::chrono::seconds deadline) {
        auto until = std::chrono::steady_clock::now() + deadline;
        while (progress.load(std::memory_order_acquire) != kLoadFinished) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            std::this_thread::yield();
        }
        return true;
    }
};

TEST_F(RamLoadThreadTest, ThreeFilesLieBackToBackAndTheTotalsAreRestoredBeforeMinusOne) {
    wav("a.wav", 44100 * 2 + 3, 16, 44100, 1);
    flac("b.flac", 44100 * 3 + 5, 16, 44100, 2);
    wav("c.wav", 44100 * 2 + 7, 16, 44100, 3);
    open(threeFileSheet("b.flac"));
    ASSERT_TRUE(disc->active) << openText();
    uint8_t* start = disc->audioData;
    RamLoadThread thread;
    progress = 0;
    ASSERT_TRUE(thread.start({disc.get(), &progress, &loadLog}));
    EXPECT_FALSE(thread.start({disc.get(), &progress, &loadLog}));
    ASSERT_TRUE(waitForEnd(std::chrono::seconds(60)));
    // The totals are back before the count says -1.
    EXPECT_EQ(disc->frameCount, 44100.0 * 7 + 15);
    EXPECT_EQ(disc->byteCount, (44100 * 7 + 15) * 4 + CdDescriptor::kTailBytes);
    thread.join();
    EXPECT_TRUE(disc->active);
    EXPECT_EQ(loadLog.snapshot(), "RAM Loading...\r\n     File '" + disc->filePath[0] + "'\r\n     File '" +
                                      disc->filePath[1] + "'\r\n\tFLAC decoding...\r\n     File '" +
                                      disc->filePath[2] + "'\r\n");
    EXPECT_EQ(disc->audioData, start);
    EXPECT_EQ(disc->currentFile, 2);
    EXPECT_TRUE(storeAudio() == expected["a.wav"] + expected["b.flac"] + expected["c.wav"]);
    EXPECT_EQ(starts(), (std::vector<int32_t>{0, 44100, 88203, 88203 + 88200, 88203 + 132305}));
}

TEST_F(RamLoadThreadTest, TruncatedMiddleFileMovesTheLaterFilesAndTracksBack) {
    wav("a.wav", 44100 * 3, 16, 44100, 1);
    std::vector<int32_t> samples = makeSamples(44100 * 3, 16, 2, 2);
    std::string present = packSamples(samples, 16);
    // b.wav declares 4 seconds but holds 3.
    WavWriter().data(present).declaredDataSize(44100 * 4 * 4).write(dir.file("b.wav"));
    wav("c.wav", 44100 * 2, 16, 44100, 3);
    open(threeFileSheet("b.wav"));
    ASSERT_TRUE(disc->active) << openText();
    EXPECT_EQ(starts(), (std::vector<int32_t>{0, 44100, 132300, 220500, 308700}));
    std::string text = load();
    EXPECT_TRUE(disc->active);
    EXPECT_NE(text.find("\r\n\tWav file truncated: expected 176400 samples, processed 132300 samples."),
              std::string::npos)
        << text;
    EXPECT_EQ(disc->frameCount, 44100.0 * 8);
    EXPECT_EQ(disc->byteCount, 44100 * 8 * 4 + CdDescriptor::kTailBytes);
    EXPECT_TRUE(storeAudio() == expected["a.wav"] + present + expected["c.wav"]);
    EXPECT_EQ(starts(), (std::vector<int32_t>{0, 44100, 132300, 220500, 264600}));
    EXPECT_EQ(lengths(), (std::vector<int32_t>{44100, 88200, 88200, 44100, 88200}));
}

TEST_F(RamLoadThreadTest, TruncationBeforeALaterTrackStartLeavesThatTrackEmptyAtTheEnd) {
    std::vector<int32_t> samples = makeSamples(44100 * 2, 16, 2, 2);
    std::string present = packSamples(samples, 16);
    WavWriter().data(present).declaredDataSize(44100 * 5 * 4).write(dir.file("a.wav"));
    open(cue("disc.cue",
             "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
             "  TRACK 02 AUDIO\n    INDEX 01 00:03:00\n"));
    ASSERT_TRUE(disc->active) << openText();
    load();
    EXPECT_EQ(starts(), (std::vector<int32_t>{0, 88200}));
    EXPECT_EQ(lengths(), (std::vector<int32_t>{88200, 0}));
    EXPECT_EQ(disc->frameCount, 88200.0);
}

TEST_F(RamLoadThreadTest, AbortedFlacDecodeInTheMiddleEndsTheLoadBeforeTheThirdFile) {
    wav("a.wav", 44100 * 2, 16, 44100, 1);
    flac("b.flac", 44100 * 3, 16, 44100, 2);
    wav("c.wav", 44100 * 2, 16, 44100, 3);
    open(threeFileSheet("b.flac"));
    ASSERT_TRUE(disc->active) << openText();
    // After validation the file is replaced by one of another format: its decode is aborted.
    flac("b.flac", 44100 * 3, 24, 44100, 2);
    std::string text = load();
    EXPECT_FALSE(disc->active);
    EXPECT_EQ(progress.load(), kLoadFinished);
    EXPECT_NE(
        text.find("\tFLAC decoding...\r\n\r\n\r\nBad multi-file cue sheet: Wav format is inconsistent.\r\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(text.find("c.WAV"), std::string::npos) << text;
    EXPECT_EQ(disc->audioData, disc->storeStart());
    EXPECT_EQ(disc->currentFile, 2);
    EXPECT_EQ(disc->frameCount, 44100.0 * 7);
    EXPECT_EQ(disc->blockAlign, 4u);
    // The third file's region was never written.
    const uint8_t* third = disc->audioData + 44100 * 5 * 4;
    EXPECT_EQ(std::count(third, third + 44100 * 2 * 4, 0), 44100 * 2 * 4);
}

TEST_F(RamLoadThreadTest, StopRequestedBeforeTheLoadLeavesTheDiscInactiveAndEndsTheCount) {
    wav("a.wav", 44100 * 2, 16, 44100, 1);
    flac("b.flac", 44100 * 3, 16, 44100, 2);
    wav("c.wav", 44100 * 2, 16, 44100, 3);
    open(threeFileSheet("b.flac"));
    ASSERT_TRUE(disc->active);
    std::atomic<bool> stop{true};
    RamLoadRequest request{disc.get(), &progress, &loadLog};
    RamLoadThread::run(request, &stop);
    EXPECT_FALSE(disc->active);
    EXPECT_EQ(progress.load(), kLoadFinished);
    EXPECT_EQ(disc->audioData, disc->storeStart());
    EXPECT_EQ(disc->fileHandle[0], nullptr);
}

TEST_F(RamLoadThreadTest, DestroyingAThreadThatRunsStopsAndWaitsForIt) {
    open(wav("a.wav", 44100 * 30, 16, 44100, 1));
    ASSERT_TRUE(disc->active);
    {
        RamLoadThread thread;
        ASSERT_TRUE(thread.start({disc.get(), &progress, &loadLog}));
    }
    EXPECT_EQ(progress.load(), kLoadFinished);
}

}  // namespace
}  // namespace quoril::test
