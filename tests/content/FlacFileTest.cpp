#include <gtest/gtest.h>

#include "ContentTestSupport.h"

namespace quoril::test {
namespace {

class FlacFileTest : public ContentTest {};

TEST_F(FlacFileTest, ValidationLogShowsSizesFormatAndLength) {
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
TEST_F(FlacFileTest, StreamIsRefusedAtValidationWithItsMessage) {
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

// Files of one format make one disc, whatever their kind; another rate or size is refused.
TEST_F(FlacFileTest, FilesOfOneFormatMakeOneDiscWhateverTheirKind) {
    const std::tuple<std::string, uint32_t, int> mixes[] = {
        {"b.flac", 48000, 16}, {"b.flac", 44100, 16}, {"b.wav", 48000, 24}};
    for (const auto& [second, rate, bits] : mixes) {
        wav("a.wav", 48000 * 3, 16, 48000, 1);
        second.ends_with(".flac") ? flac(second, rate * 3, bits, rate, 2)
                                  : wav(second, rate * 3, bits, rate, 2);
        const bool same = rate == 48000 && bits == 16;
        EXPECT_EQ(static_cast<bool>(open(cue("disc.cue",
                                             "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 "
                                             "00:00:00\nFILE \"" +
                                                 std::string(second) +
                                                 "\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"))
                                        .active),
                  same)
            << openText();
        EXPECT_EQ(openText().find("\r\n\r\nBad multi-file cue sheet: Wav format is inconsistent.\r\n") ==
                      std::string::npos,
                  same);
    }
}

}  // namespace
}  // namespace quoril::test
