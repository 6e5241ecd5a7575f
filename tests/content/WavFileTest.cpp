#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "ContentTestSupport.h"
#include "platform/CFormat.h"

namespace quoril::test {
namespace {

class WavFileTest : public ContentTest {};

TEST_F(WavFileTest, SixteenAndTwentyFourBitDataReachesTheStoreByteForByte) {
    for (int bits : {16, 24}) {
        SCOPED_TRACE(bits);
        // Not a multiple of the 16,384-frame block, so the last block is a short one.
        std::string path = wav("a.wav", 16384 * 7 + 1234, bits, 44100, static_cast<uint32_t>(bits));
        CdDescriptor& d = open(path);
        ASSERT_TRUE(d.active) << openText();
        EXPECT_EQ(d.blockAlign, bits == 16 ? 4u : 6u);
        load();
        ASSERT_TRUE(d.active);
        EXPECT_EQ(progress.load(), kLoadFinished);
        EXPECT_TRUE(storeAudio() == expected["a.wav"]);
        // The tail after the audio is silent.
        const uint8_t* tail = d.audioData + static_cast<size_t>(d.frameCount) * d.blockAlign;
        EXPECT_EQ(std::count(tail, tail + CdDescriptor::kTailBytes, 0), CdDescriptor::kTailBytes);
        EXPECT_EQ(d.byteCount, static_cast<int64_t>(expected["a.wav"].size()) + CdDescriptor::kTailBytes);
    }
}

TEST_F(WavFileTest, SingleFileOpenWritesTheWholeLogInOrder) {
    std::string path = wav("song.wav", 44100 * 65 + 7);
    CdDescriptor& d = open(path);
    ASSERT_TRUE(d.active);
    std::string shown = path.substr(0, path.size() - 3) + "WAV";
    EXPECT_EQ(openText(),
              cformat("AUDIO source [ %s ]\r\n\tGenre = Unknown\r\n\tArtist = %s\r\n\tAlbum = WAV\r\n"
                      "\r\n     FILE: %s\r\n\tWav file size = 10MB\r\n\tRate = 16/44100 (2 channels)\r\n"
                      "\tSamples = 2866507 (  1: 5)\r\n\r\n     RAM allocation (12MB) successful\r\n",
                      path.c_str(), path.c_str(), path.c_str()));
    EXPECT_EQ(d.filePath[0], shown);
    EXPECT_EQ(d.trackCount, 1);
    EXPECT_EQ(d.trackTitle[0], "Track01");
    EXPECT_EQ(d.trackLength[0], 2866507);
    EXPECT_EQ(d.performer, path);
    EXPECT_EQ(d.albumTitle, "WAV");
    EXPECT_EQ(load(), "RAM Loading...\r\n     File '" + shown + "'\r\n");
}

struct StructureCase {
    const char* name;
    std::function<WavWriter()> build;
    const char* refusal;  // nullptr: accepted
};

WavWriter stereo16() {
    return WavWriter(16, 2, 44100).samples(makeSamples(44100 * 2));
}

// Two seconds of audio after `count` small chunks before the format or the data chunk.
WavWriter afterChunks(int count, bool beforeFormat) {
    WavWriter w = stereo16();
    for (int i = 0; i < count; ++i) {
        beforeFormat ? w.chunkBeforeFormat("JUNK", "xx") : w.chunkBeforeData("LIST", "xx");
    }
    return w;
}

const char* const kNotSupported =
    "\r\nWav file is NOT supported.\r\nOnly 16 or 24 bit uncompressed stereo (at any sample rate) is "
    "supported.\r\n";

class WavStructureTest : public WavFileTest, public ::testing::WithParamInterface<StructureCase> {};

TEST_P(WavStructureTest, ChunkWalkAcceptsOrRefusesWithItsMessage) {
    std::string path = dir.file("a.wav");
    ASSERT_TRUE(GetParam().build().write(path));
    CdDescriptor& d = open(path);
    if (GetParam().refusal == nullptr) {
        ASSERT_TRUE(d.active) << openText();
        load();
        EXPECT_TRUE(storeAudio() == packSamples(makeSamples(44100 * 2), 16));
    } else {
        EXPECT_FALSE(d.active);
        EXPECT_NE(openText().find(std::string("\r\n     FILE: ") + path + "\r\n" + GetParam().refusal),
                  std::string::npos)
            << openText();
        EXPECT_EQ(d.fileHandle[0], nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, WavStructureTest,
    ::testing::Values(
        StructureCase{"plain", [] { return stereo16(); }, nullptr},
        StructureCase{"list_of_64KB_before_data",
                      [] { return stereo16().chunkBeforeData("LIST", std::string(65536, 'l')); }, nullptr},
        StructureCase{"list_of_70000_bytes_before_data",
                      [] { return stereo16().chunkBeforeData("LIST", std::string(70000, 'l')); },
                      "\r\nWav file structure is NOT supported, internal chunk larger than 64KB bytes!\r\n"},
        StructureCase{"format_chunk_of_40_bytes", [] { return stereo16().formatChunkSize(40); }, nullptr},
        StructureCase{"extensible_format_tag",
                      [] { return stereo16().formatChunkSize(40).formatTag(0xFFFE); }, kNotSupported},
        StructureCase{
            "odd_chunk_with_pad_byte",
            [] { return stereo16().chunkBeforeData("junk", "odd").chunkBeforeFormat("bext", "12345"); },
            nullptr},
        StructureCase{"chunk_before_format_of_10240_bytes",
                      [] { return stereo16().chunkBeforeFormat("JUNK", std::string(10240, 'j')); }, nullptr},
        StructureCase{"chunk_before_format_of_10241_bytes",
                      [] { return stereo16().chunkBeforeFormat("JUNK", std::string(10241, 'j')); },
                      "\r\nWav file structure is NOT supported, internal chunk larger than 10240 bytes!\r\n"},
        StructureCase{"48_chunks_before_format", [] { return afterChunks(48, true); }, nullptr},
        StructureCase{"49_chunks_before_format", [] { return afterChunks(49, true); },
                      "\r\nWav file structure is NOT supported, format chunk not found.\r\n"},
        StructureCase{"48_chunks_before_data", [] { return afterChunks(48, false); }, nullptr},
        StructureCase{"49_chunks_before_data", [] { return afterChunks(49, false); },
                      "\r\nWav file structure is NOT supported, too many internal chunks!\r\n"},
        StructureCase{"no_riff_tag", [] { return stereo16().riffTags("RIFX", "WAVE"); },
                      "\r\nWav file structure is NOT supported, 'RIFF' and/or 'WAVE' tag is missing.\r\n"},
        StructureCase{"no_wave_tag", [] { return stereo16().riffTags("RIFF", "AVI "); },
                      "\r\nWav file structure is NOT supported, 'RIFF' and/or 'WAVE' tag is missing.\r\n"},
        StructureCase{"format_chunk_of_14_bytes", [] { return stereo16().formatChunkSize(14); },
                      "\r\nWav file structure is NOT supported, unexpected format chunk size.\r\n"},
        StructureCase{"format_chunk_of_10258_bytes", [] { return stereo16().formatChunkSize(10258); },
                      "\r\nWav file structure is NOT supported, unexpected format chunk size.\r\n"},
        StructureCase{"wrong_block_align", [] { return stereo16().blockAlign(6); },
                      "\r\nWav file is invalid or corrupted, invalid block size specified.\r\n"},
        StructureCase{"mono", [] { return WavWriter(16, 1, 44100).samples(makeSamples(88200, 16, 1)); },
                      kNotSupported},
        StructureCase{"eight_bit", [] { return WavWriter(8, 2, 44100).samples(makeSamples(88200, 8, 2)); },
                      kNotSupported},
        StructureCase{"thirty_two_bit",
                      [] { return WavWriter(32, 2, 44100).samples(makeSamples(88200, 32, 2)); },
                      kNotSupported},
        StructureCase{"rate_zero", [] { return WavWriter(16, 2, 0).samples(makeSamples(88200)); },
                      "\r\nWav file is corrupted or invalid.\r\n"},
        StructureCase{"negative_data_size", [] { return stereo16().declaredDataSize(0x80000000u); },
                      "\r\nWav file is corrupted or invalid.\r\n"},
        StructureCase{"empty_file", [] { return WavWriter().riffTags("", ""); },
                      "\r\nWav file structure is NOT supported, 'RIFF' and/or 'WAVE' tag is missing.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WavFileTest, DataSizeLargerThanTheFileLoadsWhatIsThereAsTruncatedAndTheRestIsSilence) {
    std::vector<int32_t> samples = makeSamples(44100 * 3);
    std::string bytes = packSamples(samples, 16);
    std::string path = dir.file("a.wav");
    WavWriter().data(bytes).declaredDataSize(static_cast<uint32_t>(bytes.size() + 4 * 44100)).write(path);
    CdDescriptor& d = open(path);
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(d.frameCount, 44100.0 * 4);
    std::string text = load();
    EXPECT_NE(text.find("\r\n\tWav file truncated: expected 176400 samples, processed 132300 samples."),
              std::string::npos)
        << text;
    EXPECT_EQ(d.frameCount, 132300.0);
    EXPECT_TRUE(storeAudio() == bytes);
    EXPECT_EQ(d.trackLength[0], 132300);
    const uint8_t* rest = d.audioData + bytes.size();
    EXPECT_EQ(std::count(rest, rest + 4 * 44100 + CdDescriptor::kTailBytes, 0),
              4 * 44100 + CdDescriptor::kTailBytes);
}

TEST_F(WavFileTest, BytesAfterTheDataChunkLoadAsOverflowCutToTheDeclaredLength) {
    std::vector<int32_t> samples = makeSamples(44100 * 2 + 100);
    std::string path = dir.file("a.wav");
    WavWriter().samples(samples).chunkAfterData("LIST", std::string(5000, 'z')).write(path);
    CdDescriptor& d = open(path);
    ASSERT_TRUE(d.active) << openText();
    std::string text = load();
    // The last read takes the rest of the file: 6,380 frames of audio and the 5,008-byte chunk.
    EXPECT_NE(text.find("\r\n\tWav file overflow: expected 88300 samples, processed 89552 samples. Reset to "
                        "expected."),
              std::string::npos)
        << text;
    EXPECT_EQ(d.frameCount, 88300.0);
    EXPECT_TRUE(storeAudio() == packSamples(samples, 16));
    const uint8_t* tail = d.audioData + 88300 * 4;
    EXPECT_EQ(std::count(tail, tail + CdDescriptor::kTailBytes, 0), CdDescriptor::kTailBytes);
}

TEST_F(WavFileTest, PathsThatAreNoDiscStopBeforeTheTitleLines) {
    const std::string upper = wav("A.WAV", 44100 * 3);
    const std::string cueUpper = cue("disc.CUE", "FILE \"A.WAV\" WAVE\n");
    const std::string missing = dir.file("none.cue");
    const std::string onlyThese = " ]\r\nOnly .cue, .wav or .flac files can be processed.\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {upper, "AUDIO source [ " + upper + onlyThese},  // extensions compare case-sensitively
        {cueUpper, "AUDIO source [ " + cueUpper + onlyThese},
        {"", "AUDIO source [  ]\r\nNo Cue, Wav or Flac file requested for processing.\r\n"},
        {missing, "AUDIO source [ " + missing + " ]\r\nCue file '" + missing + "' NOT found.\r\n"}};
    for (const auto& [path, text] : cases) {
        EXPECT_FALSE(open(path).active);
        EXPECT_EQ(openText(), text);
    }
}

}  // namespace
}  // namespace quoril::test
