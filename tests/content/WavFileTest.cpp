#include <gtest/gtest.h>

#include "ContentTestSupport.h"

namespace quoril::test {
namespace {

class WavFileTest : public ContentTest {};

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

struct StructureCase {
    const char* name;
    WavWriter file;
    std::string refusal;  // empty: accepted
};

const std::string kStructure = "\r\nWav file structure is NOT supported, ";
const std::string kNotSupported =
    "\r\nWav file is NOT supported.\r\nOnly 16 or 24 bit uncompressed stereo (at any sample rate) is "
    "supported.\r\n";

class WavStructureTest : public WavFileTest, public ::testing::WithParamInterface<StructureCase> {};

TEST_P(WavStructureTest, ChunkWalkAcceptsOrRefusesWithItsMessage) {
    std::string path = dir.file("a.wav");
    ASSERT_TRUE(GetParam().file.write(path));
    CdDescriptor& d = open(path);
    if (GetParam().refusal.empty()) {
        ASSERT_TRUE(d.active) << openText();
        load();
        EXPECT_TRUE(storeAudio() == packSamples(makeSamples(44100 * 2), 16));
    } else {
        EXPECT_FALSE(d.active);
        EXPECT_NE(openText().find("\r\n     FILE: " + path + "\r\n" + GetParam().refusal), std::string::npos)
            << openText();
        EXPECT_EQ(d.fileHandle[0], nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, WavStructureTest,
    ::testing::Values(
        StructureCase{"plain", stereo16(), ""},
        StructureCase{"list_of_64KB_before_data", stereo16().chunkBeforeData("LIST", std::string(65536, 'l')),
                      ""},
        StructureCase{"list_of_70000_bytes_before_data",
                      stereo16().chunkBeforeData("LIST", std::string(70000, 'l')),
                      kStructure + "internal chunk larger than 64KB bytes!\r\n"},
        StructureCase{"extensible_format_tag", stereo16().formatChunkSize(40).formatTag(0xFFFE),
                      kNotSupported},
        StructureCase{"odd_chunk_with_pad_byte",
                      stereo16().chunkBeforeData("junk", "odd").chunkBeforeFormat("bext", "12345"), ""},
        StructureCase{"chunk_before_format_of_10240_bytes",
                      stereo16().chunkBeforeFormat("JUNK", std::string(10240, 'j')), ""},
        StructureCase{"chunk_before_format_of_10241_bytes",
                      stereo16().chunkBeforeFormat("JUNK", std::string(10241, 'j')),
                      kStructure + "internal chunk larger than 10240 bytes!\r\n"},
        StructureCase{"48_chunks_before_format", afterChunks(48, true), ""},
        StructureCase{"49_chunks_before_format", afterChunks(49, true),
                      kStructure + "format chunk not found.\r\n"},
        StructureCase{"48_chunks_before_data", afterChunks(48, false), ""},
        StructureCase{"49_chunks_before_data", afterChunks(49, false),
                      kStructure + "too many internal chunks!\r\n"},
        StructureCase{"no_riff_tag", stereo16().riffTags("RIFX", "WAVE"),
                      kStructure + "'RIFF' and/or 'WAVE' tag is missing.\r\n"},
        StructureCase{"format_chunk_of_14_bytes", stereo16().formatChunkSize(14),
                      kStructure + "unexpected format chunk size.\r\n"},
        StructureCase{"wrong_block_align", stereo16().blockAlign(6),
                      "\r\nWav file is invalid or corrupted, invalid block size specified.\r\n"},
        StructureCase{"mono", WavWriter(16, 1, 44100).samples(makeSamples(88200, 16, 1)), kNotSupported},
        StructureCase{"rate_zero", WavWriter(16, 2, 0).samples(makeSamples(88200)),
                      "\r\nWav file is corrupted or invalid.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

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
