#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ContentTestSupport.h"
#include "platform/CFormat.h"

namespace quoril::test {
namespace {

enum class Damage { None, WrongSignature, CorruptStretch, Truncated, OtherFormatAfterOpen };

struct DiscFile {
    const char* name;
    int frames;
    Damage damage = Damage::None;
    const char* secondTrack = nullptr;  // the INDEX 01 time of a second track in the file
};

struct LoadCase {
    const char* name;
    int bits;
    std::vector<DiscFile> files;    // one file without a sheet, or the files of a sheet
    bool active;                    // after the load
    const char* logHas;             // for a damaged disc: a text its log holds
    std::vector<int32_t> tracks{};  // after the load, when given: the starts, then the lengths
};

class LoadTest : public ContentTest, public ::testing::WithParamInterface<LoadCase> {
  protected:
    // The store, the log, the tracks and whether the disc stayed active.
    using Result = std::tuple<std::string, std::string, std::vector<int32_t>, bool>;

    // Writes the disc; returns the path to open and the store it should load into `store`.
    std::string build(const LoadCase& c, std::string& store) {
        std::string sheet;
        int track = 0;
        for (size_t i = 0; i < c.files.size(); ++i) {
            const DiscFile& f = c.files[i];
            const auto seed = static_cast<uint32_t>(i + 1);
            const std::string name = f.name;
            FlacOptions options;
            options.corruptMd5 = f.damage == Damage::WrongSignature;
            name.ends_with(".wav") ? wav(name, f.frames, c.bits, 44100, seed)
                                   : flac(name, f.frames, c.bits, 44100, seed, options);
            if (f.damage == Damage::Truncated) {  // declares twice what it holds
                const std::string& data = expected[name];
                WavWriter(c.bits).data(data).declaredDataSize(2 * data.size()).write(dir.file(name));
            }
            store += f.damage == Damage::OtherFormatAfterOpen || (!store.empty() && !c.active)
                         ? std::string(expected[name].size(), '\0')
                         : expected[name];
            sheet += "FILE \"" + name + "\" WAVE\n" +
                     cformat("  TRACK %02d AUDIO\n    INDEX 01 00:00:00\n", ++track);
            if (f.secondTrack != nullptr) {
                sheet += cformat("  TRACK %02d AUDIO\n    INDEX 01 %s\n", ++track, f.secondTrack);
            }
        }
        return c.files.size() == 1 ? dir.file(c.files[0].name) : cue("disc.cue", sheet);
    }

    // Damage done to the written files: before the open (a stretch of frame headers that lead
    // nowhere, in the middle of a file), after it (the other sample size), or undone before it.
    void damage(const LoadCase& c, int stage) {
        for (size_t i = 0; i < c.files.size(); ++i) {
            const std::string path = dir.file(c.files[i].name);
            if (c.files[i].damage == Damage::CorruptStretch && stage == 0) {
                std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
                file.seekp(static_cast<std::streamoff>(std::filesystem::file_size(path) / 2));
                for (int k = 0; k < 10000; ++k) {
                    file.write("\xFF\xF8", 2);
                }
            } else if (c.files[i].damage == Damage::OtherFormatAfterOpen && stage != 0) {
                flac(c.files[i].name, static_cast<size_t>(c.files[i].frames),
                     stage == 2 ? 40 - c.bits : c.bits, 44100, static_cast<uint32_t>(i + 1));
            }
        }
    }

    // Loads on the load thread with `workers` workers while this thread watches the counter.
    Result loadWith(const LoadCase& c, const std::string& path, int workers) {
        ScopedEnv env("QUORIL_LOAD_THREADS", std::to_string(workers));
        damage(c, 1);
        if (!open(path).active) {
            ADD_FAILURE() << openText();
            return {};
        }
        damage(c, 2);
        const int32_t frames = static_cast<int32_t>(disc->frameCount);
        loadLog.clear();
        RamLoadThread thread;
        EXPECT_TRUE(thread.start({disc.get(), &progress, &loadLog}));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (int32_t now, last = 0; (now = progress.load(std::memory_order_acquire)) != kLoadFinished;
             last = now) {
            EXPECT_GE(now, last) << "the counter went back";
            EXPECT_LE(now, frames);
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the load did not end";
                break;
            }
            std::this_thread::yield();
        }
        thread.join();
        EXPECT_EQ(disc->audioData, disc->storeStart());
        std::vector<int32_t> tracks(disc->trackStart.begin(), disc->trackStart.begin() + disc->trackCount);
        tracks.insert(tracks.end(), disc->trackLength.begin(), disc->trackLength.begin() + disc->trackCount);
        return {std::string(reinterpret_cast<const char*>(disc->storeStart()),
                            static_cast<size_t>(disc->storeBytes() - CdDescriptor::kTailBytes)),
                loadLog.snapshot(), tracks, disc->active};
    }
};

// The same disc with one worker and with several (a lone file in 2, 3 and 7 ranges): the same
// store, log, tracks and outcome, and what the files hold.
TEST_P(LoadTest, EveryWorkerCountLoadsWhatTheFilesHoldAndLogsTheSame) {
    const LoadCase& c = GetParam();
    std::string store;
    const std::string path = build(c, store);
    damage(c, 0);
    const Result one = loadWith(c, path, 1);
    const auto& [store1, log1, tracks1, active1] = one;
    EXPECT_EQ(active1, c.active);
    std::string log = "RAM Loading...\r\n";
    for (size_t i = 0; i < c.files.size(); ++i) {
        log += "     File '" + disc->filePath[i] + "'\r\n" +
               (disc->filePath[i].ends_with(".FLAC") ? "\tFLAC decoding...\r\n" : "");
    }
    EXPECT_TRUE(*c.logHas == '\0' ? log1 == log : log1.find(c.logHas) != std::string::npos) << log1;
    if (c.files[0].damage != Damage::CorruptStretch) {  // what survives a damaged frame is libFLAC's
        EXPECT_TRUE(store1.substr(0, store.size()) == store);
    }
    EXPECT_EQ(store1.find_first_not_of('\0', store.size()), std::string::npos);
    EXPECT_TRUE(c.tracks.empty() || tracks1 == c.tracks) << testing::PrintToString(tracks1);
    for (int workers : {2, 3, 7}) {
        SCOPED_TRACE(workers);
        const Result many = loadWith(c, path, workers);
        EXPECT_EQ(std::get<1>(many), log1);
        EXPECT_TRUE(many == one) << "the store, the tracks or the outcome differ";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Discs, LoadTest,
    ::testing::Values(
        LoadCase{"SixteenBitFile", 16, {{"a.flac", 44100 * 3 + 17}}, true, ""},
        LoadCase{"FiveFileSheetWithAShortWav",
                 24,
                 {{"a.flac", 88203},
                  {"b.wav", 176400, Damage::Truncated, "00:05:00"},
                  {"c.flac", 132300},
                  {"d.wav", 88200},
                  {"e.flac", 88217}},
                 true,
                 "\r\n\tWav file truncated: expected 352800 samples, processed 176400 samples.     File '",
                 {0, 88203, 264603, 264603, 396903, 485103, 88203, 176400, 0, 132300, 88200, 88217}},
        LoadCase{"WrongSignature",
                 24,
                 {{"a.flac", 44100 * 3, Damage::WrongSignature}},
                 true,
                 "\tFLAC decoding...\r\n\tFLAC MD5 mismatch: decoded audio differs from the signature in the "
                 "file.\r\n"},
        LoadCase{"CorruptStretch",
                 16,
                 {{"a.flac", 44100 * 4, Damage::CorruptStretch}},
                 true,
                 "FLAC ERROR: FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER\r\n\t(repeated 9999 times)\r\n"},
        LoadCase{
            "SecondOfThreeFilesChangesFormat",
            16,
            {{"a.wav", 88200}, {"b.flac", 132300, Damage::OtherFormatAfterOpen}, {"c.wav", 88200}},
            false,
            "'\r\n\tFLAC decoding...\r\n\r\n\r\nBad multi-file cue sheet: Wav format is inconsistent.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ContentTest, StopRequestEndsEveryWorkerAndTheCount) {
    ScopedEnv env("QUORIL_LOAD_THREADS", "3");
    open(flac("a.flac", 44100 * 30, 24));
    ASSERT_TRUE(disc->active);
    std::atomic<bool> stop{true};
    RamLoadThread::run({disc.get(), &progress, &loadLog}, &stop);
    EXPECT_FALSE(disc->active);
    EXPECT_EQ(progress.load(), kLoadFinished);
    // A thread destroyed while it loads is stopped and waited for.
    open(std::string(disc->sourcePath));
    {
        RamLoadThread thread;
        ASSERT_TRUE(thread.start({disc.get(), &progress, &loadLog}));
        EXPECT_FALSE(thread.start({disc.get(), &progress, &loadLog}));
    }
    EXPECT_EQ(progress.load(), kLoadFinished);
}

}  // namespace
}  // namespace quoril::test
