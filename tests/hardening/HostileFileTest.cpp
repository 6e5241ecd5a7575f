// Files that are broken, enormous or deliberately odd: each ends in its message or a clean
// refusal, the tables stay within their sizes and the store holds exactly what the file allowed.

#include <gtest/gtest.h>

#include "content/ContentTestSupport.h"

namespace quoril::test {
namespace {

class HostileFileTest : public ContentTest {
  protected:
    bool openTextHas(const std::string& text) const { return openText().find(text) != std::string::npos; }
};

TEST_F(HostileFileTest, FiveHundredFileLinesKeepAHundredFilesAndIgnoreTheRest) {
    wav("a.wav", 500, 16, 1000);
    std::string sheet;
    for (int f = 0; f < 500; ++f) {
        sheet += "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    }
    CdDescriptor& d = open(cue("files.cue", sheet));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(d.currentFile, 99);
    EXPECT_EQ(d.trackCount, 100);
    EXPECT_EQ(d.frameCount, 50000.0);
    EXPECT_TRUE(openTextHas("\r\n\tCue file names more than 100 files; the rest is ignored.\r\n"))
        << openText();
    EXPECT_EQ(d.trackStart[99], 99 * 500);
    EXPECT_EQ(d.trackLength[99], 500);
    load();
    std::string all;  // the same file a hundred times over, back to back
    for (int f = 0; f < 100; ++f) {
        all += expected["a.wav"];
    }
    EXPECT_TRUE(storeAudio() == all);
}

TEST_F(HostileFileTest, FileNameLongerThanThePathSlotIsRefusedWithItsMessage) {
    wav("a.wav", 3000, 16, 1000);
    const std::string longName(600, 'n');
    // As the first file and as a later one.
    const std::vector<std::string> sheets = {
        "FILE \"" + longName + ".wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
        "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE \"" + longName +
            ".wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n",
    };
    for (const std::string& sheet : sheets) {
        CdDescriptor& d = open(cue("long.cue", sheet));
        EXPECT_FALSE(d.active);
        EXPECT_TRUE(openTextHas("\r\nFile path is too long (at most 519 characters are supported).\r\n"))
            << openText();
        EXPECT_EQ(d.trackCount, sheet.find("a.wav") == std::string::npos ? 0 : 1);
    }
}

TEST_F(HostileFileTest, AOneMegabyteLineIsReadInPiecesAndNulBytesInATitleCutNothingElse) {
    wav("a.wav", 10000, 16, 1000);
    using namespace std::string_literals;
    const std::string huge(1 << 20, 'x');
    std::string sheet = "REM COMMENT " + huge + "\nTITLE \"Album\"\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n" +
                        "    TITLE \"" + huge + "\"\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n" + huge +
                        "\n    TITLE \"One\0\0Two\"\n    INDEX 01 00:05:00\n"s;
    CdDescriptor& d = open(cue("wide.cue", sheet));
    ASSERT_TRUE(d.active) << openText().substr(0, 2000);
    EXPECT_EQ(d.albumTitle, "Album");
    ASSERT_EQ(d.trackCount, 2);
    EXPECT_LE(d.trackTitle[0].size(), CdDescriptor::kMaxTitleChars);
    EXPECT_EQ(d.trackStart[1], 5000);
    EXPECT_EQ(d.trackLength[1], 5000);
    EXPECT_LE(d.trackTitle[1].size(), "One\0\0Two"s.size());  // however it is cut, never past the line
}

// FLAC files: frames of 1,024 samples, so a file of 8,192 frames has 8 audio frames.
class HostileFlacTest : public HostileFileTest {
  protected:
    static constexpr size_t kFrames = 8192;
    std::string encode(const std::string& name) {
        FlacOptions options;
        options.blockSize = 1024;
        options.compressionLevel = 0;
        return flac(name, kFrames, 16, 1000, 9, options);
    }
    // STREAMINFO's 36-bit total-samples field, rewritten in place.
    static void claimTotalSamples(std::string& bytes, uint64_t total) {
        // "fLaC", the block header, then 10 bytes before the rate/channels/bits/total field.
        uint8_t* field = reinterpret_cast<uint8_t*>(bytes.data()) + 4 + 4 + 10;
        field[3] = static_cast<uint8_t>((field[3] & 0xf0) | ((total >> 32) & 0x0f));
        field[4] = static_cast<uint8_t>(total >> 24);
        field[5] = static_cast<uint8_t>(total >> 16);
        field[6] = static_cast<uint8_t>(total >> 8);
        field[7] = static_cast<uint8_t>(total);
    }
};

// Fewer samples than the frames hold: the decode stays inside the file's region; more: silence.
TEST_F(HostileFlacTest, StreamInfoClaimingAnotherLengthDecodesExactlyThatLength) {
    const std::string bytes = readFile(encode("whole.flac"));
    for (uint64_t claimed : {uint64_t{3000}, uint64_t{20000}}) {
        std::string lying = bytes;
        claimTotalSamples(lying, claimed);
        CdDescriptor& d = open(dir.write("claims.flac", lying));
        ASSERT_TRUE(d.active) << openText();
        EXPECT_EQ(d.frameCount, double(claimed));
        load();
        const std::string audio = storeAudio();
        ASSERT_EQ(audio.size(), claimed * 4);
        std::string want = expected["whole.flac"];
        want.resize(claimed * 4, '\0');
        EXPECT_TRUE(audio == want) << claimed;
        EXPECT_TRUE(std::all_of(d.audioData + audio.size(), d.audioData + d.byteCount,
                                [](uint8_t b) { return b == 0; }));
    }
}

TEST_F(HostileFlacTest, MonoFramesUnderAStereoStreamInfoAreRefusedNotReadAsTwoChannels) {
    FlacOptions options;
    options.channels = 1;
    options.blockSize = 1024;
    std::string bytes = readFile(flac("mono.flac", kFrames, 16, 1000, 5, options));
    // STREAMINFO's channel field (3 bits, channels - 1) says two; every frame still carries one.
    uint8_t& field = reinterpret_cast<uint8_t&>(bytes[4 + 4 + 12]);
    field = static_cast<uint8_t>((field & 0xf1) | (1 << 1));
    CdDescriptor& d = open(dir.write("lying.flac", bytes));
    EXPECT_FALSE(d.active);
    EXPECT_TRUE(openTextHas("\r\nOnly Stereo 16 or 24 bit FLAC files supported!\r\n")) << openText();
}

TEST_F(HostileFlacTest, StreamInfoClaimingMoreFramesThanPositionsCanCountIsRefusedEvenWithTheMemory) {
    // A machine with memory enough for 2^33 frames: the length itself is the limit.
    ScopedEnv meminfo("QUORIL_MEMINFO",
                      dir.write("meminfo", "MemTotal: 109951162777 kB\nMemAvailable: 109951162777 kB\n"));
    std::string bytes = readFile(encode("whole.flac"));
    claimTotalSamples(bytes, uint64_t{1} << 33);
    for (const std::string& path :
         {dir.write("huge.flac", bytes),
          cue("huge.cue", "FILE \"huge.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"),
          cue("bare.cue", "FILE \"huge.flac\" WAVE\n")}) {
        CdDescriptor& d = open(path);
        EXPECT_FALSE(d.active);
        EXPECT_TRUE(openTextHas("\r\nDisc is too long: at most 2147483647 samples are supported.\r\n"))
            << openText();
    }
}

}  // namespace
}  // namespace quoril::test
