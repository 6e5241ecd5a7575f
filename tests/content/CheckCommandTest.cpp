#include <gtest/gtest.h>

#include <string>

#include "ContentTestSupport.h"
#include "content/Sha256.h"
#include "platform/CFormat.h"
#include "support/ChildProcess.h"

namespace quoril::test {
namespace {

// The value after key in text, up to the next blank or line end.
std::string field(const std::string& text, const std::string& key) {
    size_t at = text.find(key);
    if (at == std::string::npos) {
        return std::string();
    }
    at += key.size();
    return text.substr(at, text.find_first_of(" \n", at) - at);
}

class CheckCommandTest : public ContentTest {
  protected:
    ProcessResult check(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {buildDir() + "/bin/quoril", "--check"});
        return runProcess(arguments, {{"HOME", home.path()}, {"QUORIL_REGISTRY", home.file("registry.reg")}});
    }
    TempDir home;
};

struct DigestCase {
    const char* name;
    int bits;
    uint32_t rate;
    std::vector<std::pair<std::string, int>> files;  // name and frames
    const char* discLine;
};

class CheckDigestTest : public CheckCommandTest, public ::testing::WithParamInterface<DigestCase> {};

// The reference is the raw decode of flac and sox, file after file.
TEST_P(CheckDigestTest, LoadedStoreHasTheDigestOfTheReferenceDecode) {
    const DigestCase& c = GetParam();
    std::string sheet;
    std::string reference = "(";
    for (size_t i = 0; i < c.files.size(); ++i) {
        const auto& [name, frames] = c.files[i];
        const bool isFlac = name.ends_with(".flac");
        const std::string path = isFlac ? flac(name, frames, c.bits, c.rate, static_cast<uint32_t>(i + 1))
                                        : wav(name, frames, c.bits, c.rate, static_cast<uint32_t>(i + 1));
        sheet +=
            "FILE \"" + name + cformat("\" WAVE\n  TRACK %02d AUDIO\n    INDEX 01 00:00:00\n", int(i + 1));
        reference += isFlac ? "flac -s -d -c --force-raw-format --endian=little --sign=signed '" + path + "';"
                            : "sox '" + path + "' -t raw -;";
    }
    ProcessResult run = check({"--load", cue("disc.cue", sheet)});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::string digest =
        runProcess({"/bin/sh", "-c", reference + ") | sha256sum"}, {}).out.substr(0, 64);
    EXPECT_EQ(field(run.out, "\nsha256 "), digest) << run.out;
    EXPECT_NE(run.out.find(c.discLine), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Discs, CheckDigestTest,
    ::testing::Values(
        DigestCase{"SixteenBitFlac",
                   16,
                   44100,
                   {{"01.flac", 44100 * 2 + 17}, {"02.flac", 44100 * 3 + 5}, {"03.flac", 44100 + 999}},
                   "\ndisc frames 265621 rate 44100 bits 16 files 3\n"},
        DigestCase{"TwentyFourBitFlacAndWav",
                   24,
                   96000,
                   {{"01.flac", 96000 * 2 + 1}, {"02.wav", 96000 + 3}, {"03.flac", 96000 * 2 + 7}},
                   "\ndisc frames 480011 rate 96000 bits 24 files 3\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CheckCommandTest, ReportShowsTheOpenLogTheTracksTheLoadAndTheDigest) {
    std::string path = wav("a.wav", 44100 * 2 + 1);
    ProcessResult run = check({"--load", path});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const std::string track = "track 1 file 0 start 0 length 88201 title Track01\n";
    const std::string expectedStart =
        "AUDIO source [ " + path + " ]\n\tGenre = Unknown\n\tArtist = " + path +
        "\n\tAlbum = WAV\n\n     FILE: " + path +
        "\n\tWav file size = 0MB\n\tRate = 16/44100 (2 channels)\n\tSamples = 88201 (  0: 2)\n" +
        "\n     RAM allocation (1MB) successful\n" + track +
        "disc frames 88201 rate 44100 bits 16 files 1\n" + "RAM Loading...\n     File '" +
        path.substr(0, path.size() - 3) + "WAV'\n" + track + "sha256 " +
        Sha256::hex(expected["a.wav"].data(), expected["a.wav"].size()) + "\nload ";
    EXPECT_EQ(run.out.substr(0, expectedStart.size()), expectedStart);
    const std::string last = run.out.substr(expectedStart.size() - 5);
    EXPECT_NE(last.find(" s "), std::string::npos);
    EXPECT_TRUE(last.ends_with(" MB/s\n")) << last;
}

TEST_F(CheckCommandTest, TrackLinesAfterTheLoadFollowATruncatedFile) {
    wav("a.wav", 44100 * 3, 16, 44100, 1);
    WavWriter()
        .samples(makeSamples(44100 * 2, 16, 2, 2))
        .declaredDataSize(44100 * 4 * 4)
        .write(dir.file("b.wav"));
    wav("c.wav", 44100 * 2, 16, 44100, 3);
    ProcessResult run =
        check({"--load", cue("disc.cue",
                             "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                             "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    TITLE \"Short\"\n"
                             "    INDEX 01 00:00:00\n"
                             "FILE \"c.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n")});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(run.out.find("track 2 file 1 start 132300 length 176400 title Short\n"
                           "track 3 file 2 start 308700 length 88200 title \n"
                           "disc frames 396900 rate 44100 bits 16 files 3\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(
        run.out.find("\n\tWav file truncated: expected 176400 samples, processed 88200 samples.     File '"),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("track 2 file 1 start 132300 length 88200 title Short\n"
                           "track 3 file 2 start 220500 length 88200 title \nsha256 "),
              std::string::npos)
        << run.out;
}

TEST_F(CheckCommandTest, DiscThatDoesNotOpenExitsWithOneAndShowsWhy) {
    std::string path = dir.file("gone.flac");
    ProcessResult run = check({"--load", path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("\n     FILE: " + path + "\n\nFLAC file NOT found!\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("sha256"), std::string::npos);
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
}

TEST_F(CheckCommandTest, UsageErrorsExitWithTwo) {
    std::string path = wav("a.wav", 44100 * 3);
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {}, {"--load"}, {"--fast", path}, {path, path}, {path, "--load"}}) {
        ProcessResult run = check(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.size();
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(check({path}).exitCode, 0);
}

}  // namespace
}  // namespace quoril::test
