#include <gtest/gtest.h>

#include <string>

#include "ContentTestSupport.h"
#include "content/Digest.h"
#include "support/ChildProcess.h"

namespace quoril::test {
namespace {

class CheckCommandTest : public ContentTest {
  protected:
    ProcessResult check(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {buildDir() + "/bin/quoril", "--check"});
        return runProcess(arguments, {{"HOME", home.path()}, {"QUORIL_REGISTRY", home.file("registry.reg")}});
    }
    TempDir home;
};

TEST_F(CheckCommandTest, ReportShowsTheOpenLogTheTracksTheLoadAndTheDigest) {
    std::string path = wav("a.wav", 44100 * 2 + 1);
    Digest digest(Digest::Sha256);
    digest.update(expected["a.wav"].data(), expected["a.wav"].size());
    ProcessResult run = check({"--load", path});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const std::string track = "track 1 file 0 start 0 length 88201 title Track01\n";
    const std::string expectedStart =
        "AUDIO source [ " + path + " ]\n\tGenre = Unknown\n\tArtist = " + path +
        "\n\tAlbum = WAV\n\n     FILE: " + path +
        "\n\tWav file size = 0MB\n\tRate = 16/44100 (2 channels)\n\tSamples = 88201 (  0: 2)\n" +
        "\n     RAM allocation (1MB) successful\n" + track +
        "disc frames 88201 rate 44100 bits 16 files 1\n" + "RAM Loading...\n     File '" +
        path.substr(0, path.size() - 3) + "WAV'\n" + track + "sha256 " + Digest::hex(digest.finish()) +
        "\nload ";
    EXPECT_EQ(run.out.substr(0, expectedStart.size()), expectedStart);
    const std::string last = run.out.substr(expectedStart.size() - 5);
    EXPECT_NE(last.find(" s "), std::string::npos);
    EXPECT_TRUE(last.ends_with(" MB/s\n")) << last;
}

TEST_F(CheckCommandTest, UsageErrorsExitWithTwoAndADiscThatDoesNotOpenWithOne) {
    std::string path = wav("a.wav", 44100 * 3);
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {}, {"--load"}, {"--fast", path}, {path, path}, {path, "--load"}}) {
        ProcessResult run = check(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.size();
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(check({path}).exitCode, 0);
    // Neither a load nor the disc line of stand-by values follows.
    ProcessResult run = check({"--load", path = dir.file("gone.flac")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.ends_with(
        "\n     FILE: " + path + "\n\nFLAC file NOT found!\ntrack 1 file 0 start 0 length 0 title Track01\n"))
        << run.out;
}

}  // namespace
}  // namespace quoril::test
