#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "ContentTestSupport.h"
#include "content/Sha256.h"

namespace quoril::test {
namespace {

struct CommandResult {
    std::string out;
    int status = -1;
};

std::string shellQuoted(const std::string& text) {
    return "'" + text + "'";
}

// Runs a shell command and returns its standard output and exit status.
CommandResult runShell(const std::string& command) {
    CommandResult run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.out.append(buffer, got);
    }
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The value after "sha256 " in the output, or the first field of sha256sum's output.
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
    CommandResult check(const std::string& arguments) {
        return runShell("env HOME=" + shellQuoted(home.path()) +
                        " QUORIL_REGISTRY=" + shellQuoted(home.file("registry.reg")) + " " +
                        shellQuoted(buildDir() + "/bin/quoril") + " --check " + arguments + " 2>/dev/null");
    }

    // SHA-256 of the reference tools' raw decode of the files, one after the other.
    std::string referenceDigest(const std::vector<std::string>& files) {
        std::string command = "(";
        for (const std::string& file : files) {
            if (file.size() > 5 && file.substr(file.size() - 5) == ".flac") {
                command += "flac -s -d -c --force-raw-format --endian=little --sign=signed " +
                           shellQuoted(file) + ";";
            } else {
                command += "sox " + shellQuoted(file) + " -t raw -;";
            }
        }
        command += ") | sha256sum";
        return field(" " + runShell(command).out, " ");
    }

    TempDir home;
};

TEST_F(CheckCommandTest, LoadedStoreHasTheDigestOfTheReferenceDecodeForSixteenBitFlacFiles) {
    std::vector<std::string> files = {flac("01.flac", 44100 * 2 + 17, 16, 44100, 1),
                                      flac("02.flac", 44100 * 3 + 5, 16, 44100, 2),
                                      flac("03.flac", 44100 * 1 + 999, 16, 44100, 3)};
    std::string sheet = cue("disc.cue",
                            "FILE \"01.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                            "FILE \"02.flac\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
                            "FILE \"03.flac\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n");
    CommandResult run = check("--load " + shellQuoted(sheet));
    ASSERT_EQ(run.status, 0) << run.out;
    std::string reference = referenceDigest(files);
    ASSERT_EQ(reference.size(), 64u);
    EXPECT_EQ(field(run.out, "\nsha256 "), reference) << run.out;
    EXPECT_NE(run.out.find("\ndisc frames 265621 rate 44100 bits 16 files 3\n"), std::string::npos)
        << run.out;
}

TEST_F(CheckCommandTest, LoadedStoreHasTheDigestOfTheReferenceDecodeForTwentyFourBitFiles) {
    std::vector<std::string> files = {flac("01.flac", 96000 * 2 + 1, 24, 96000, 4),
                                      wav("02.wav", 96000 * 1 + 3, 24, 96000, 5),
                                      flac("03.flac", 96000 * 2 + 7, 24, 96000, 6)};
    std::string sheet = cue("disc.cue",
                            "FILE \"01.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n    INDEX 01 00:00:60\n"
                            "FILE \"02.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n"
                            "FILE \"03.flac\" WAVE\n  TRACK 04 AUDIO\n    INDEX 01 00:00:00\n");
    CommandResult run = check("--load " + shellQuoted(sheet));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(field(run.out, "\nsha256 "), referenceDigest(files)) << run.out;
}

TEST_F(CheckCommandTest, ReportShowsTheOpenLogTheTracksTheLoadAndTheDigest) {
    std::string path = wav("a.wav", 44100 * 2 + 1);
    CommandResult run = check("--load " + shellQuoted(path));
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string shown = path.substr(0, path.size() - 3) + "WAV";
    const std::string expectedStart = "AUDIO source [ " + path +
                                      " ]\n"
                                      "\tGenre = Unknown\n"
                                      "\tArtist = " +
                                      path +
                                      "\n"
                                      "\tAlbum = WAV\n"
                                      "\n     FILE: " +
                                      path +
                                      "\n"
                                      "\tWav file size = 0MB\n"
                                      "\tRate = 16/44100 (2 channels)\n"
                                      "\tSamples = 88201 (  0: 2)\n"
                                      "\n     RAM allocation (1MB) successful\n"
                                      "track 1 file 0 start 0 length 88201 title Track01\n"
                                      "disc frames 88201 rate 44100 bits 16 files 1\n"
                                      "RAM Loading...\n"
                                      "     File '" +
                                      shown +
                                      "'\n"
                                      "track 1 file 0 start 0 length 88201 title Track01\n"
                                      "sha256 " +
                                      Sha256::hex(expected["a.wav"].data(), expected["a.wav"].size()) +
                                      "\nload ";
    EXPECT_EQ(run.out.substr(0, expectedStart.size()), expectedStart);
    const std::string last = run.out.substr(expectedStart.size() - 5);
    EXPECT_NE(last.find(" s "), std::string::npos);
    EXPECT_EQ(last.substr(last.size() - 6), " MB/s\n");
}

TEST_F(CheckCommandTest, TrackLinesAfterTheLoadFollowATruncatedFile) {
    wav("a.wav", 44100 * 3, 16, 44100, 1);
    WavWriter()
        .samples(makeSamples(44100 * 2, 16, 2, 2))
        .declaredDataSize(44100 * 4 * 4)
        .write(dir.file("b.wav"));
    wav("c.wav", 44100 * 2, 16, 44100, 3);
    std::string sheet =
        cue("disc.cue",
            "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
            "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    TITLE \"Short\"\n    INDEX 01 00:00:00\n"
            "FILE \"c.wav\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n");
    CommandResult run = check("--load " + shellQuoted(sheet));
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("track 2 file 1 start 132300 length 176400 title Short\n"
                           "track 3 file 2 start 308700 length 88200 title \n"
                           "disc frames 396900 rate 44100 bits 16 files 3\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n\tWav file truncated: expected 176400 samples, processed 88200 samples."
                           "     File '"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("track 2 file 1 start 132300 length 88200 title Short\n"
                           "track 3 file 2 start 220500 length 88200 title \n"
                           "sha256 "),
              std::string::npos)
        << run.out;
}

TEST_F(CheckCommandTest, DiscThatDoesNotOpenExitsWithOneAndShowsWhy) {
    std::string path = dir.file("gone.flac");
    CommandResult run = check("--load " + shellQuoted(path));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("\n     FILE: " + path + "\n\nFLAC file NOT found!\n"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("sha256"), std::string::npos);
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
}

TEST_F(CheckCommandTest, UsageErrorsExitWithTwo) {
    std::string path = wav("a.wav", 44100 * 3);
    for (const std::string& arguments :
         {std::string(), std::string("--load"), "--fast " + shellQuoted(path),
          shellQuoted(path) + " " + shellQuoted(path), shellQuoted(path) + " --load"}) {
        SCOPED_TRACE(arguments);
        CommandResult run = check(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(check(shellQuoted(path)).status, 0);
}

}  // namespace
}  // namespace quoril::test
