#include <gtest/gtest.h>

#include <unistd.h>

#include "ContentTestSupport.h"
#include "content/FlacContentDecoder.h"

namespace quoril::test {
namespace {

class FlacFileTest : public ContentTest {};

// The same audio as WAV and as FLAC: the FLAC load fills the store with the WAV bytes exactly.
TEST_F(FlacFileTest, FlacFillsTheStoreExactlyAsTheSameAudioFromWav) {
    for (int bits : {16, 24}) {
        SCOPED_TRACE(bits);
        const std::string fromWav = wav("a.wav", 96000 * 2 + 4321, bits, 96000, 7);
        open(fromWav);
        ASSERT_TRUE(disc->active) << openText();
        load();
        const std::string wavStore = storeAudio();
        ASSERT_EQ(wavStore.size(), size_t{96000 * 2 + 4321} * (bits / 8) * 2);

        const std::string fromFlac = flac("a.flac", 96000 * 2 + 4321, bits, 96000, 7);
        open(fromFlac);
        ASSERT_TRUE(disc->active) << openText();
        EXPECT_EQ(disc->blockAlign, bits / 4u);
        EXPECT_EQ(disc->albumTitle, "FLAC");
        EXPECT_EQ(disc->filePath[0], fromFlac.substr(0, fromFlac.size() - 4) + "FLAC");
        EXPECT_EQ(load(),
                  "RAM Loading...\r\n     File '" + disc->filePath[0] + "'\r\n\tFLAC decoding...\r\n");
        ASSERT_TRUE(disc->active);
        EXPECT_EQ(progress.load(), kLoadFinished);
        EXPECT_TRUE(storeAudio() == wavStore);
        EXPECT_EQ(disc->trackLength[0], 96000 * 2 + 4321);
    }
}

TEST_F(FlacFileTest, ValidationLogShowsSizesFormatAndLength) {
    std::string path = flac("a.flac", 44100 * 75, 16);
    CdDescriptor& d = open(path);
    ASSERT_TRUE(d.active) << openText();
    EXPECT_TRUE(openText().ends_with(
        "\r\n     FILE: " + path +
        "\r\n\tFLAC file size = 12MB (decoded during RAM load, RAM for 'Wav data' is allocated)\r\n"
        "\tWav data size = 12MB\r\n\tRate = 16/44100 (2 channels)\r\n\tSamples = 3307500 (  1:15)\r\n"
        "\r\n     RAM allocation (13MB) successful\r\n"))
        << openText();
}

struct RefusedStream {
    const char* name;
    int bits;
    int channels;
    bool totalSamples;
    const char* message;
};

class FlacRefusalTest : public FlacFileTest, public ::testing::WithParamInterface<RefusedStream> {};

TEST_P(FlacRefusalTest, StreamIsRefusedAtValidationWithTheCallbacksMessage) {
    const RefusedStream& c = GetParam();
    FlacOptions options;
    options.channels = c.channels;
    options.totalSamplesInStreamInfo = c.totalSamples;
    std::string path = flac("a.flac", 44100 * 3, c.bits, 44100, 1, options);
    CdDescriptor& d = open(path);
    EXPECT_FALSE(d.active);
    EXPECT_NE(openText().find(c.message), std::string::npos) << openText();
    EXPECT_EQ(openText().find("RAM allocation"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FlacRefusalTest,
    ::testing::Values(
        RefusedStream{
            "no_total_samples", 16, 2, false,
            "\r\nERROR: only works for FLAC files that have a total_samples count in STREAMINFO\r\n"},
        RefusedStream{"mono", 16, 1, true, "\r\nOnly Stereo 16 or 24 bit FLAC files supported!\r\n"},
        RefusedStream{"eight_bit", 8, 2, true, "\r\nOnly Stereo 16 or 24 bit FLAC files supported!\r\n"},
        RefusedStream{"twenty_bit", 20, 2, true, "\r\nOnly Stereo 16 or 24 bit FLAC files supported!\r\n"},
        RefusedStream{"six_channels", 16, 6, true, "\r\nOnly Stereo 16 or 24 bit FLAC files supported!\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FlacFileTest, FileThatIsNotFlacIsRefusedWithoutCrashing) {
    std::string path = dir.write("a.flac", std::string(100000, 'x'));
    CdDescriptor& d = open(path);
    EXPECT_FALSE(d.active);
    EXPECT_NE(openText().find(
                  "\tSamples = 10000 (  0: 0)\r\nFLAC ERROR: FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC\r\n"
                  "\r\nFLAC file holds no audio frame.\r\n"),
              std::string::npos)
        << openText();
    EXPECT_EQ(openText().find("RAM allocation"), std::string::npos);
}

// The file size counts against the available memory and against 2 GiB, whatever the memory.
TEST_F(FlacFileTest, FileLargerThanTheMemoryOrTwoGibibytesIsRefusedAsTooLarge) {
    const std::string small = flac("a.flac", 44100 * 3);
    const std::string big = dir.write("big.flac", "");
    ASSERT_EQ(truncate(big.c_str(), 2147483649LL), 0);  // sparse: only its size matters
    const std::string tooLarge = "\r\nFLAC file is too large!\r\n\tPhysical (";
    const std::string cases[][3] = {
        // 14,024 kB available less the 14,360,576-byte reserve is 0 bytes.
        {small, "MemTotal: 1048576 kB\nMemAvailable: 14024 kB\n",
         "1024MB), Available (0MB), Minimum Required (0MB), Max supported (2048MB).\r\n"},
        {big, "MemTotal: 67108864 kB\nMemAvailable: 50331648 kB\n",
         "65536MB), Available (49138MB), Minimum Required (2048MB), Max supported (2048MB).\r\n"}};
    for (const auto& [path, meminfo, figures] : cases) {
        ScopedEnv env("QUORIL_MEMINFO", dir.write("meminfo", meminfo));
        EXPECT_FALSE(open(path).active);
        EXPECT_NE(openText().find(tooLarge + figures), std::string::npos) << openText();
    }
    // A real stream padded to exactly 2 GiB, on the large machine: validation stops at its first
    // audio frame.
    ScopedEnv env("QUORIL_MEMINFO", dir.write("meminfo", cases[1][1]));
    ASSERT_EQ(truncate(small.c_str(), 2147483648LL), 0);
    EXPECT_TRUE(open(small).active) << openText();
}

// libFLAC checks the signature during the load; a mismatch is reported and what was decoded kept.
TEST_F(FlacFileTest, SignatureIsCheckedWhenTheStreamCarriesOne) {
    for (bool corrupt : {true, false}) {
        FlacOptions options;
        options.corruptMd5 = corrupt;
        options.md5 = corrupt;
        open(flac("a.flac", 44100 * 3, 16, 44100, 3, options));
        ASSERT_TRUE(disc->active) << openText();
        const std::string text = load();
        EXPECT_EQ(
            text.find("\tFLAC MD5 mismatch: decoded audio differs from the signature in the file.\r\n") !=
                std::string::npos,
            corrupt)
            << text;
        EXPECT_TRUE(disc->active);
        EXPECT_TRUE(storeAudio() == expected["a.flac"]);
    }
}

struct MixCase {
    const char* name;
    const char* first;
    const char* second;
    uint32_t secondRate;
    int secondBits;
    bool accepted;
};

class FormatMixTest : public FlacFileTest, public ::testing::WithParamInterface<MixCase> {};

TEST_P(FormatMixTest, FilesOfOneFormatMakeOneDiscWhateverTheirKind) {
    const MixCase& c = GetParam();
    const auto write = [this](const std::string& name, uint32_t rate, int bits, uint32_t seed) {
        name.ends_with(".flac") ? flac(name, rate * 3, bits, rate, seed)
                                : wav(name, rate * 3, bits, rate, seed);
    };
    write(c.first, 48000, 16, 1);
    write(c.second, c.secondRate, c.secondBits, 2);
    CdDescriptor& d =
        open(cue("disc.cue", std::string("FILE \"") + c.first +
                                 "\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE \"" + c.second +
                                 "\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"));
    ASSERT_EQ(static_cast<bool>(d.active), c.accepted) << openText();
    EXPECT_EQ(openText().find("\r\n\r\nBad multi-file cue sheet: Wav format is inconsistent.\r\n") ==
                  std::string::npos,
              c.accepted);
    if (c.accepted) {
        load();
        ASSERT_TRUE(d.active);
        EXPECT_TRUE(storeAudio() == expected[c.first] + expected[c.second]);
        EXPECT_EQ(d.trackStart[1], 48000 * 3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Discs, FormatMixTest,
    ::testing::Values(MixCase{"wav_then_flac", "a.wav", "b.flac", 48000, 16, true},
                      MixCase{"flac_then_wav", "a.flac", "b.wav", 48000, 16, true},
                      MixCase{"wav_then_wav", "a.wav", "b.wav", 48000, 16, true},
                      MixCase{"flac_at_44100_after_wav_at_48000", "a.wav", "b.flac", 44100, 16, false},
                      MixCase{"wav_at_44100_after_flac_at_48000", "a.flac", "b.wav", 44100, 16, false},
                      MixCase{"wav_at_44100_after_wav_at_48000", "a.wav", "b.wav", 44100, 16, false},
                      MixCase{"flac_of_24_bits_after_wav_of_16", "a.wav", "b.flac", 48000, 24, false},
                      MixCase{"wav_of_24_bits_after_wav_of_16", "a.wav", "b.wav", 48000, 24, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The loaders on their own, prepared as the RAM-load thread prepares each file.
class LoaderProgressTest : public ContentTest {
  protected:
    void prepare(int file, int64_t offsetFrames) {
        disc->currentFile = static_cast<int16_t>(file);
        disc->byteCount = disc->fileByteCount[file];
        disc->frameCount = disc->fileFrameCount[file];
        disc->audioData = disc->storeStart() + offsetFrames * disc->blockAlign;
    }
};

TEST_F(LoaderProgressTest, FlacDecodeRestartsTheCounterForEachFileAndEndsAtItsLength) {
    flac("a.flac", 50000, 16, 44100, 1);
    flac("b.flac", 70001, 16, 44100, 2);
    open(cue("disc.cue",
             "FILE \"a.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
             "FILE \"b.flac\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(disc->active) << openText();
    DiagnosticsLog log;
    progress = 12345;
    prepare(0, 0);
    disc->DecodeFlacFile(progress, log);
    EXPECT_EQ(progress.load(), 50000);
    prepare(1, 50000);
    disc->DecodeFlacFile(progress, log);
    EXPECT_EQ(progress.load(), 70001);
    EXPECT_TRUE(std::string(reinterpret_cast<char*>(disc->storeStart()), 120001 * 4) ==
                expected["a.flac"] + expected["b.flac"]);
}

TEST_F(LoaderProgressTest, WavReadsAddFullBlocksToTheCounterAcrossFiles) {
    wav("a.wav", 16384 * 4 + 10, 16, 44100, 1);
    wav("b.wav", 16384 * 2, 16, 44100, 2);
    open(cue("disc.cue",
             "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
             "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(disc->active) << openText();
    DiagnosticsLog log;
    progress = 0;
    prepare(0, 0);
    disc->ReadWavFile(progress, log);
    // The short last block is left to the completion value.
    EXPECT_EQ(progress.load(), 16384 * 4);
    prepare(1, 16384 * 4 + 10);
    disc->ReadWavFile(progress, log);
    EXPECT_EQ(progress.load(), 16384 * 6);
    EXPECT_EQ(disc->fileHandle[0], nullptr);
    EXPECT_EQ(disc->fileHandle[1], nullptr);
}

}  // namespace
}  // namespace quoril::test
