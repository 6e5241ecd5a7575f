#include <gtest/gtest.h>

#include "ContentTestSupport.h"

namespace quoril::test {
namespace {

class WavFileTest : public ContentTest {};

WavWriter stereo16() {
    return WavWriter(16, 2, 44100).samples(makeSamples(44100 * 2));
}

// Two seconds of audio after `before` chunks ahead of the format chunk and `after` ahead of the
// data chunk. The last of each group is as large as `beforeSize` / `afterSize`; the first of a
// longer group has an odd size and so a pad byte.
WavWriter chunked(int before, int after, size_t beforeSize = 10240, size_t afterSize = 65536) {
    WavWriter w = stereo16();
    for (int i = 1; i <= before; ++i) {
        w.chunkBeforeFormat("JUNK", i == before ? std::string(beforeSize, 'j') : i == 1 ? "odd" : "xx");
    }
    for (int i = 1; i <= after; ++i) {
        w.chunkBeforeData("LIST", i == after ? std::string(afterSize, 'l') : i == 1 ? "odd" : "xx");
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
        StructureCase{"every_chunk_count_and_size_at_its_limit", chunked(48, 48), ""},
        StructureCase{"chunk_before_data_over_64KB", chunked(0, 1, 0, 65537),
                      kStructure + "internal chunk larger than 64KB bytes!\r\n"},
        StructureCase{"chunk_before_format_over_10240_bytes", chunked(1, 0, 10241),
                      kStructure + "internal chunk larger than 10240 bytes!\r\n"},
        StructureCase{"49_chunks_before_format", chunked(49, 0), kStructure + "format chunk not found.\r\n"},
        StructureCase{"49_chunks_before_data", chunked(0, 49), kStructure + "too many internal chunks!\r\n"},
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
    const std::string missing = dir.file("none.cue");
    const std::pair<std::string, std::string> cases[] = {
        // extensions compare case-sensitively
        {upper, "AUDIO source [ " + upper + " ]\r\nOnly .cue, .wav or .flac files can be processed.\r\n"},
        {"", "AUDIO source [  ]\r\nNo Cue, Wav or Flac file requested for processing.\r\n"},
        {missing, "AUDIO source [ " + missing + " ]\r\nCue file '" + missing + "' NOT found.\r\n"}};
    for (const auto& [path, text] : cases) {
        EXPECT_FALSE(open(path).active);
        EXPECT_EQ(openText(), text);
    }
}

}  // namespace
}  // namespace quoril::test
