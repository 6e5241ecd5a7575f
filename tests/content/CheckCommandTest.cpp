#include <gtest/gtest.h>

#include <string>

#include "ContentTestSupport.h"
#include "content/Digest.h"
#include "platform/CFormat.h"
#include "support/ChildProcess.h"

namespace quoril::test {
namespace {

std::string sha256(const std::string& bytes) {
    Digest digest(Digest::Sha256);
    digest.update(bytes.data(), bytes.size());
    return Digest::hex(digest.finish());
}

class CheckCommandTest : public ContentTest {
  protected:
    ProcessResult check(std::vector<std::string> arguments, const std::string& workers = "") {
        arguments.insert(arguments.begin(), {buildDir() + "/bin/quoril", "--check"});
        std::vector<std::pair<std::string, std::string>> environment = {
            {"HOME", home.path()}, {"QUORIL_REGISTRY", home.file("registry.reg")}};
        if (!workers.empty()) {
            environment.emplace_back("QUORIL_LOAD_THREADS", workers);
        }
        return runProcess(arguments, environment);
    }
    TempDir home;
};

// The reference is the raw decode of flac and sox, file after file; one worker or several.
TEST_F(CheckCommandTest, LoadedStoreHasTheDigestOfTheReferenceDecode) {
    using Files = std::vector<std::pair<std::string, int>>;
    const std::pair<Files, std::string> discs[] = {
        {{{"1.flac", 96000 * 3 + 11}}, "\ndisc frames 288011 rate 96000 bits 24 files 1\n"},
        {{{"2.flac", 96000 * 2 + 1}, {"3.wav", 96000 + 3}, {"4.flac", 96000 * 2 + 7}},
         "\ndisc frames 480011 rate 96000 bits 24 files 3\n"}};
    for (const auto& [files, discLine] : discs) {
        std::string sheet;
        std::string reference = "(";
        for (size_t i = 0; i < files.size(); ++i) {
            const auto& [name, frames] = files[i];
            const bool isFlac = name.ends_with(".flac");
            const auto seed = static_cast<uint32_t>(i + 1);
            const std::string path =
                isFlac ? flac(name, frames, 24, 96000, seed) : wav(name, frames, 24, 96000, seed);
            sheet += "FILE \"" + name +
                     cformat("\" WAVE\n  TRACK %02d AUDIO\n    INDEX 01 00:00:00\n", int(i + 1));
            reference +=
                isFlac ? "flac -s -d -c --force-raw-format --endian=little --sign=signed '" + path + "';"
                       : "sox '" + path + "' -t raw -;";
        }
        const std::string path = files.size() == 1 ? dir.file(files[0].first) : cue("disc.cue", sheet);
        const std::string digest =
            runProcess({"/bin/sh", "-c", reference + ") | sha256sum"}, {}).out.substr(0, 64);
        for (const char* workers : {"1", "4"}) {
            ProcessResult run = check({"--load", path}, workers);
            ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
            EXPECT_NE(run.out.find("\nsha256 " + digest + "\n"), std::string::npos) << workers << run.out;
            EXPECT_NE(run.out.find(discLine), std::string::npos) << run.out;
        }
    }
}

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
        path.substr(0, path.size() - 3) + "WAV'\n" + track + "sha256 " + sha256(expected["a.wav"]) +
        "\nload ";
    EXPECT_EQ(run.out.substr(0, expectedStart.size()), expectedStart);
    const std::string last = run.out.substr(expectedStart.size() - 5);
    EXPECT_NE(last.find(" s "), std::string::npos);
    EXPECT_TRUE(last.ends_with(" MB/s\n")) << last;
}

// Neither a load nor the disc line of stand-by values follows.
TEST_F(CheckCommandTest, DiscThatDoesNotOpenExitsWithOneAndShowsWhy) {
    const std::string path = dir.file("gone.flac");
    ProcessResult run = check({"--load", path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.ends_with(
        "\n     FILE: " + path + "\n\nFLAC file NOT found!\ntrack 1 file 0 start 0 length 0 title Track01\n"))
        << run.out;
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
