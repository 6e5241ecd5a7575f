#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include "ContentTestSupport.h"
#include "platform/LockedMemory.h"

namespace quoril::test {
namespace {

using CdDescriptorTest = ContentTest;

struct MemoryCase {
    const char* name;
    const char* file;  // a.wav of 6 s or a.flac of 3 s
    off_t size;        // when not 0, the file is padded to this size; only the size is checked
    const char* meminfo;
    bool accepted;
    std::string message;
};

class MemoryCheckTest : public CdDescriptorTest, public ::testing::WithParamInterface<MemoryCase> {};

// A WAV store counts against the available memory; a FLAC file's size counts against it and against
// 2 GiB, whatever the memory.
TEST_P(MemoryCheckTest, StoreLargerThanTheAvailableMemoryIsRefused) {
    const MemoryCase& c = GetParam();
    const std::string path =
        std::string(c.file).ends_with(".wav") ? wav(c.file, 44100 * 6) : flac(c.file, 44100 * 3);
    if (c.size != 0) {
        ASSERT_EQ(truncate(path.c_str(), c.size), 0);
    }
    ScopedEnv env("QUORIL_MEMINFO", dir.write("meminfo", c.meminfo));
    open(path);
    EXPECT_EQ(static_cast<bool>(disc->active), c.accepted);
    EXPECT_EQ(disc->audioData != nullptr, c.accepted);
    EXPECT_NE(openText().find(c.message), std::string::npos) << openText();
}

const std::string kFlacTooLarge = "\r\nFLAC file is too large!\r\n\tPhysical (";

INSTANTIATE_TEST_SUITE_P(
    Machines, MemoryCheckTest,
    ::testing::Values(
        MemoryCase{"one_kilobyte_short", "a.wav", 0, "MemTotal: 4194304 kB\nMemAvailable: 16182 kB\n", false,
                   "\r\nWav data is too large!\r\n\tPhysical (4096MB), Available (2MB), Required (2MB).\r\n"},
        MemoryCase{
            "flac_over_two_gibibytes", "a.flac", 2147483649LL,
            "MemTotal: 67108864 kB\nMemAvailable: 50331648 kB\n", false,
            kFlacTooLarge +
                "65536MB), Available (49138MB), Minimum Required (2048MB), Max supported (2048MB).\r\n"}),

    [](const auto& info) { return std::string(info.param.name); });

// With locking refused by a zero limit the store falls back to ordinary memory (a process allowed
// to lock past the limit locks it all); either way the audio arrives whole.
TEST_F(CdDescriptorTest, LockedStoreFallsBackWhenLockingIsRefused) {
    const std::string path = wav("a.wav", 44100 * 3);
    settings.useAwe = true;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_MEMLOCK, &old), 0);
    rlimit none = old;
    none.rlim_cur = 0;
    ASSERT_EQ(setrlimit(RLIMIT_MEMLOCK, &none), 0);
    open(path);
    setrlimit(RLIMIT_MEMLOCK, &old);
    ASSERT_TRUE(disc->active) << openText();
    const size_t page = systemPageSize();
    const bool locked = disc->physicalPageCount != 0;
    EXPECT_TRUE(openText().ends_with((locked ? "\r\n     AWE sucessful\r\n"
                                             : "\r\n     AWE failed, reverting to standard allocation\r\n") +
                                     std::string("\r\n     RAM allocation (1MB) successful\r\n")))
        << openText();
    EXPECT_EQ(disc->physicalPageCount, locked ? (disc->byteCount + page - 1) / page : 0);
    load();
    EXPECT_TRUE(storeAudio() == expected["a.wav"]);
}

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

class WavStructureTest : public CdDescriptorTest, public ::testing::WithParamInterface<StructureCase> {};

TEST_P(WavStructureTest, ChunkWalkAcceptsOrRefusesWithItsMessage) {
    std::string path = dir.file("a.wav");
    ASSERT_TRUE(GetParam().file.write(path));
    CdDescriptor& d = open(path);
    if (GetParam().refusal.empty()) {
        ASSERT_TRUE(d.active) << openText();
        // The last read takes the rest of the file: the 5,008-byte chunk after the audio comes in as
        // 1,252 frames too many and is cut off.
        const std::string text = load();
        EXPECT_NE(
            text.find("\r\n\tWav file overflow: expected 88200 samples, processed 89452 samples. Reset to "
                      "expected."),
            std::string::npos)
            << text;
        EXPECT_TRUE(storeAudio() == packSamples(makeSamples(44100 * 2), 16));
        const uint8_t* tail = d.audioData + 88200 * 4;
        EXPECT_EQ(std::count(tail, tail + CdDescriptor::kTailBytes, 0), CdDescriptor::kTailBytes);
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
        StructureCase{"every_chunk_count_and_size_at_its_limit",
                      chunked(48, 48).chunkAfterData("LIST", std::string(5000, 'z')), ""},
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

TEST_F(CdDescriptorTest, PathsThatAreNoDiscStopBeforeTheTitleLines) {
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

TEST_F(CdDescriptorTest, ValidationLogShowsSizesFormatAndLength) {
    std::string path = flac("a.flac", 44100 * 75, 16);
    ASSERT_TRUE(open(path).active) << openText();
    EXPECT_TRUE(openText().ends_with(
        "\r\n     FILE: " + path +
        "\r\n\tFLAC file size = 12MB (decoded during RAM load, RAM for 'Wav data' is allocated)\r\n"
        "\tWav data size = 12MB\r\n\tRate = 16/44100 (2 channels)\r\n\tSamples = 3307500 (  1:15)\r\n"
        "\r\n     RAM allocation (13MB) successful\r\n"))
        << openText();
}

// Streams the disc cannot play are refused at validation, each with its message.
TEST_F(CdDescriptorTest, StreamIsRefusedAtValidationWithItsMessage) {
    const std::string format = "\r\nOnly Stereo 16 or 24 bit FLAC files supported!\r\n";
    const std::tuple<int, int, bool, std::string> cases[] = {
        {16, 2, false,
         "\r\nERROR: only works for FLAC files that have a total_samples count in STREAMINFO\r\n"},
        {8, 1, true, format}};
    for (const auto& [bits, channels, totalSamples, message] : cases) {
        FlacOptions options;
        options.channels = channels;
        options.totalSamplesInStreamInfo = totalSamples;
        EXPECT_FALSE(open(flac("a.flac", 44100 * 3, bits, 44100, 1, options)).active);
        EXPECT_NE(openText().find(message), std::string::npos) << openText();
        EXPECT_EQ(openText().find("RAM allocation"), std::string::npos);
    }
    // Not FLAC at all: one stream error, and nothing to learn the format from.
    EXPECT_FALSE(open(dir.write("a.flac", std::string(100000, 'x'))).active);
    EXPECT_NE(openText().find(
                  "\tSamples = 10000 (  0: 0)\r\nFLAC ERROR: FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC"
                  "\r\n\r\nFLAC file holds no audio frame.\r\n"),
              std::string::npos)
        << openText();
}

// A file of another rate makes no disc, whatever its kind; a sheet mixing kinds of one format is in
// the load tests.
TEST_F(CdDescriptorTest, FileOfAnotherRateIsRefused) {
    wav("a.wav", 48000 * 3, 16, 48000);
    flac("b.flac", 44100 * 3, 16, 44100, 2);
    EXPECT_FALSE(open(cue("disc.cue",
                          "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                          "FILE \"b.flac\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"))
                     .active);
    EXPECT_NE(openText().find("\r\n\r\nBad multi-file cue sheet: Wav format is inconsistent.\r\n"),
              std::string::npos)
        << openText();
}

}  // namespace
}  // namespace quoril::test
