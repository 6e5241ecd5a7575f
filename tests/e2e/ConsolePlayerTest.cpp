#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "e2e/PlayerProcess.h"
#include "platform/CFormat.h"
#include "platform/ProcessList.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril::test {
namespace {

constexpr const char* kCaptureClassId = "{6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A913}";
constexpr int kRate = 44100;
// The engine's DSP block for the capture driver's 512-frame buffers at 44,100 Hz.
constexpr size_t kBlockFrames = 6144;
// Track 2's title: 45 characters of three bytes each, longer than its list line holds.
const std::string kLongTitle = [] {
    std::string title;
    for (int i = 0; i < 15; ++i) {
        title += "\u65e5\u672c\u8a9e";
    }
    return title;
}();

std::string playerPath() {
    return buildDir() + "/bin/quoril";
}

// Only one player runs at a time on a machine, and `quoril --check` counts as one while it
// runs: before starting a player, wait (with a deadline) until no other quoril process runs.
void waitForNoOtherPlayer() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (countProcessesNamed("quoril") != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(countProcessesNamed("quoril"), 0) << "another quoril process keeps running";
}

// A disc of two WAV files (frames of each) and the sheet that makes tracks of them.
struct Disc {
    const char* name;
    int firstFrames;
    int secondFrames;
    std::string sheet;
    std::vector<std::string> list;  // the track list the console prints
};

// First file: tracks 1 (2 s) and 2 (1.5 s); second file: track 3 (1.5 s). Track 2's title is cut
// after its 39th character, whole, with no mark in the terminal.
const Disc kStandardDisc{
    "standard",
    7 * kRate / 2,
    3 * kRate / 2,
    "PERFORMER \"Capture Band\"\r\nTITLE \"Loopback\"\r\n"
    "FILE \"one.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Opening\"\r\n    INDEX 01 00:00:00\r\n"
    "  TRACK 02 AUDIO\r\n    TITLE \"" +
        kLongTitle +
        "\"\r\n    INDEX 01 00:02:00\r\n"
        "FILE \"two.wav\" WAVE\r\n  TRACK 03 AUDIO\r\n    TITLE \"Closing\"\r\n    INDEX 01 00:00:00\r\n",
    {"01 00:02 Opening", "02 00:01 " + kLongTitle.substr(0, 39 * 3), "03 00:01 Closing"}};

// One file per track with the gaps appended: track 2 starts with its pregap 4 s into the 6-second
// one.wav and runs on into two.wav; track 3 starts 2 s into two.wav. Read a file too early,
// track 2 would last 2 s and track 3 four.
const Disc kGapsAppendedDisc{
    "gaps_appended",
    6 * kRate,
    4 * kRate,
    "PERFORMER \"Capture Band\"\r\nTITLE \"Loopback\"\r\n"
    "FILE \"one.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Opening\"\r\n    INDEX 01 00:00:00\r\n"
    "  TRACK 02 AUDIO\r\n    TITLE \"Middle\"\r\n    INDEX 00 00:04:00\r\n"
    "FILE \"two.wav\" WAVE\r\n    INDEX 01 00:00:00\r\n  TRACK 03 AUDIO\r\n    TITLE \"Closing\"\r\n"
    "    INDEX 01 00:02:00\r\n",
    {"01 00:04 Opening", "02 00:04 Middle", "03 00:02 Closing"}};

// An installation in a temporary directory: registry, Quoril.ini and the disc's files. The
// capture driver records into capture.wav.
class Installation {
  public:
    Installation(const std::string& speed, const std::string& playback, const Disc& disc = kStandardDisc) {
        std::string reg = "Windows Registry Editor Version 5.00\r\n\r\n";
        reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\r\n\"Path\"=\"" + dir.path() + "\"\r\n\r\n";
        reg += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Quoril Capture]\r\n";
        reg += std::string("\"clsid\"=\"") + kCaptureClassId + "\"\r\n\"description\"=\"Quoril Capture\"\r\n";
        reg += "\"Speed\"=\"" + speed + "\"\r\n\"File\"=\"" + capturePath() + "\"\r\n\r\n";
        reg += std::string("[HKEY_CLASSES_ROOT\\clsid\\") + kCaptureClassId + "\\InprocServer32]\r\n";
        reg += "@=\"" + buildDir() + "/lib/quoril/drivers/quoril-capture.so\"\r\n";
        dir.write("registry.reg", reg);
        dir.write("Quoril.ini",
                  "ASIO=Quoril Capture\nASIOCHANNEL=0\nSRC=1\nRATE=44100\nVOLUME=0.0\n"
                  "DIAGNOSTICS=No\nPLAYBACK=" +
                      playback + "\n");
        first = makeSamples(static_cast<size_t>(disc.firstFrames), 16, 2, 11);
        second = makeSamples(static_cast<size_t>(disc.secondFrames), 16, 2, 12);
        WavWriter(16, 2, kRate).samples(first).write(dir.file("one.wav"));
        WavWriter(16, 2, kRate).samples(second).write(dir.file("two.wav"));
        dir.write("disc.cue", disc.sheet);
    }

    std::string capturePath() const { return dir.file("capture.wav"); }
    std::string cuePath() const { return dir.file("disc.cue"); }
    std::vector<std::pair<std::string, std::string>> environment() const {
        return {{"QUORIL_REGISTRY", dir.file("registry.reg")},
                {"HOME", dir.path()},
                {"QUORIL_DRIVER_SETTLE_MS", "0"}};
    }
    // The disc's samples, both files back to back.
    std::vector<int32_t> discSamples() const {
        std::vector<int32_t> all = first;
        all.insert(all.end(), second.begin(), second.end());
        return all;
    }

    TempDir dir;
    std::vector<int32_t> first;
    std::vector<int32_t> second;
};

// The samples of a 32-bit PCM WAV file's data chunk.
std::vector<int32_t> readCapture(const std::string& path) {
    std::string bytes = readFile(path);
    std::vector<int32_t> samples;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (bytes.compare(at, 4, "data") == 0) {
            size_t count = std::min<size_t>(size, bytes.size() - at - 8) / 4;
            samples.resize(count);
            std::memcpy(samples.data(), bytes.data() + at + 8, count * 4);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return samples;
}

class ConsolePlayerDisc : public ::testing::TestWithParam<Disc> {};

TEST_P(ConsolePlayerDisc, PlaysADiscToItsEndInExitModeAndTheCaptureHoldsItBitForBit) {
    Installation install("8", "X", GetParam());
    waitForNoOtherPlayer();
    ProcessResult run = runProcess({playerPath(), "--console", install.cuePath()}, install.environment(),
                                   install.dir.path(), std::chrono::seconds(60));
    ASSERT_TRUE(run.finished) << run.out;
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;

    std::string list;
    for (const std::string& row : GetParam().list) {
        // Padded to 48 characters; a UTF-8 character counts once, whatever its bytes.
        const auto chars = std::count_if(row.begin(), row.end(), [](char c) { return (c & 0xC0) != 0x80; });
        list += row + std::string(static_cast<size_t>(48 - chars), ' ') + "\n";
    }
    EXPECT_NE(run.out.find("--- Capture Band - Loopback ---\n" + list), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(list), run.out.rfind(list));  // printed once
    EXPECT_NE(run.out.find("01 00:00   0.0\n"), std::string::npos) << run.out;

    const std::vector<int32_t> disc = install.discSamples();
    const std::vector<int32_t> captured = readCapture(install.capturePath());
    ASSERT_GT(captured.size(), disc.size());

    // Silence until play starts after the RAM load, then the disc.
    size_t begin = 0;
    while (begin < captured.size() && captured[begin] == 0) {
        ++begin;
    }
    ASSERT_LT(begin, captured.size());
    ASSERT_EQ(begin % 2, 0u);  // left before right
    size_t matched = 0;
    while (matched < disc.size() && begin + matched < captured.size() &&
           captured[begin + matched] == static_cast<int32_t>(static_cast<uint32_t>(disc[matched]) << 16)) {
        ++matched;
    }
    // The halt at the end of the disc may silence the last two blocks before they are played.
    EXPECT_GE(matched, disc.size() - 2 * 2 * kBlockFrames)
        << "first difference at frame " << matched / 2 << " of " << disc.size() / 2;
    for (size_t i = begin + matched; i < captured.size(); ++i) {
        ASSERT_EQ(captured[i], 0) << "sample " << i - begin << " after the disc started";
    }
}

INSTANTIATE_TEST_SUITE_P(Discs, ConsolePlayerDisc, ::testing::Values(kStandardDisc, kGapsAppendedDisc),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConsolePlayer, ASecondPlayerIsRefusedWhileTheFirstKeepsPlaying) {
    Installation install("1", "R");
    waitForNoOtherPlayer();
    PlayerProcess first({playerPath(), "--console", install.cuePath()}, install.environment());
    ASSERT_TRUE(first.started());
    // The first one is playing once it shows its first time field after the track list.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (first.output().find("  0.0\n") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_NE(first.output().find("  0.0\n"), std::string::npos) << first.output();

    ProcessResult second = runProcess({playerPath(), "--console", install.cuePath()}, install.environment(),
                                      install.dir.path(), std::chrono::seconds(30));
    ASSERT_TRUE(second.finished);
    EXPECT_EQ(second.exitCode, 1) << second.out << second.err;
    EXPECT_EQ(second.out,
              std::string("== Error ==\nRavek is already running!\n\nOnly one instance allowed.\n\n"
                          " failed with error 0: ") +
                  std::strerror(0) + "\n");

    // The first plays on: volume down, then quit; the settings are saved with the new volume.
    first.type("-q");
    ASSERT_TRUE(first.wait(std::chrono::seconds(30))) << first.output();
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_NE(readFile(install.dir.file("Quoril.ini")).find("VOLUME= -0.5\n"), std::string::npos)
        << readFile(install.dir.file("Quoril.ini"));
}

TEST(ConsolePlayer, TheSettingsWindowPrintsTheDriversAndCountsAsCancel) {
    Installation install("1", "R");
    install.dir.write("Quoril.ini", "ASIO=Quoril Capture\n");  // incomplete: the settings window opens
    waitForNoOtherPlayer();
    ProcessResult run = runProcess({playerPath(), "--console"}, install.environment(), install.dir.path(),
                                   std::chrono::seconds(30));
    ASSERT_TRUE(run.finished) << run.out;
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("== Ravek Diagnostics ==\nProcessing .ini file...\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\nOn OK, settings will be activated.\n== Ravek Settings ==\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\tQuoril Capture  (chosen)\n\t\tpair 0: Capture 1 / Capture 2\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Quoril.ini and start the player again.\n"), std::string::npos);
    // Cancel leaves the file as it was.
    EXPECT_EQ(readFile(install.dir.file("Quoril.ini")), "ASIO=Quoril Capture\n");
}

}  // namespace
}  // namespace quoril::test
