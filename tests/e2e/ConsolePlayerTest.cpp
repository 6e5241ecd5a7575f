#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "e2e/PlayerProcess.h"
#include "support/WavWriter.h"
#include "ui/PlayerEnvironment.h"

namespace quoril::test {
namespace {

constexpr int kRate = 44100;
// The engine's DSP block for the capture driver's 512-frame buffers at 44,100 Hz.
constexpr size_t kBlockFrames = 6144;
// Track 2's title: 45 characters of three bytes each, longer than its list line holds.
const std::string kLongTitle =
    "\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e"
    "\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e"
    "\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e\u65e5\u672c\u8a9e";

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

// The capture driver at `speed` times real time records into capture.wav; Quoril.ini plays at unity
// volume, without conversion. Returns the disc's samples, both files back to back.
std::vector<int32_t> install(PlayerEnvironment& env, const std::string& playback,
                             const Disc& disc = kStandardDisc) {
    env.writeIniLines({"ASIO=Quoril Capture", "ASIOCHANNEL=0", "SRC=1", "RATE=44100", "VOLUME=0.0",
                       "DIAGNOSTICS=" + std::string(playback == "X" ? "Yes" : "No"), "PLAYBACK=" + playback});
    std::vector<int32_t> samples = makeSamples(static_cast<size_t>(disc.firstFrames), 16, 2, 11);
    const std::vector<int32_t> second = makeSamples(static_cast<size_t>(disc.secondFrames), 16, 2, 12);
    WavWriter(16, 2, kRate).samples(samples).write(env.dir().file("one.wav"));
    WavWriter(16, 2, kRate).samples(second).write(env.dir().file("two.wav"));
    env.dir().write("disc.cue", disc.sheet);
    samples.insert(samples.end(), second.begin(), second.end());
    return samples;
}

// The samples of the capture: a 32-bit PCM WAV file whose data chunk runs to its end.
std::vector<int32_t> readCapture(const std::string& path) {
    const std::string bytes = readFile(path);
    const size_t at = bytes.find("data", 12);
    std::vector<int32_t> samples;
    for (size_t i = at + 8; at != std::string::npos && i + 4 <= bytes.size(); i += 4) {
        std::memcpy(&samples.emplace_back(), bytes.data() + i, 4);
    }
    return samples;
}

class ConsolePlayerDisc : public ::testing::TestWithParam<Disc> {};

TEST_P(ConsolePlayerDisc, PlaysADiscToItsEndInExitModeAndTheCaptureHoldsItBitForBit) {
    PlayerEnvironment env("8");
    const std::vector<int32_t> disc = install(env, "X", GetParam());
    // Without a session bus the player plays as ever and says so once in its log.
    PlayerProcess run({"--console", env.dir().file("disc.cue")},
                      {{"DBUS_SESSION_BUS_ADDRESS", ""}, {"XDG_RUNTIME_DIR", ""}});
    ASSERT_TRUE(run.wait()) << run.output();
    EXPECT_EQ(run.exitCode(), 0) << run.output();
    const std::string out = run.output(), noBus =
                                              "\nNo session bus (no DBUS_SESSION_BUS_ADDRESS, no "
                                              "XDG_RUNTIME_DIR): media keys and remote control are off.\n";
    EXPECT_TRUE(out.find(noBus) != std::string::npos && out.find(noBus) == out.rfind(noBus)) << out;

    std::string list;
    for (const std::string& row : GetParam().list) {
        // Padded to 48 characters; a UTF-8 character counts once, whatever its bytes.
        const auto chars = std::count_if(row.begin(), row.end(), [](char c) { return (c & 0xC0) != 0x80; });
        list += row + std::string(static_cast<size_t>(48 - chars), ' ') + "\n";
    }
    EXPECT_NE(out.find("--- Capture Band - Loopback ---\n" + list), std::string::npos) << out;
    EXPECT_EQ(out.find(list), out.rfind(list));  // printed once
    EXPECT_NE(out.find("01 00:00   0.0\n"), std::string::npos) << out;

    const std::vector<int32_t> captured = readCapture(env.dir().file("capture.wav"));
    ASSERT_GT(captured.size(), disc.size());
    // Silence until play starts after the RAM load, then the disc.
    size_t begin = 0;
    while (begin < captured.size() && captured[begin] == 0) {
        ++begin;
    }
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
    PlayerEnvironment env("1");
    install(env, "R");
    PlayerProcess first({"--console", env.dir().file("disc.cue")});
    // The first one is playing once it shows its first time field after the track list.
    ASSERT_TRUE(waitUntil([&] { return first.output().find("  0.0\n") != std::string::npos; },
                          std::chrono::seconds(30)))
        << first.output();

    PlayerProcess second({"--console", env.dir().file("disc.cue")}, {}, false);
    ASSERT_TRUE(second.wait(std::chrono::seconds(30)));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(second.output(),
              std::string("== Error ==\nRavek is already running!\n\nOnly one instance allowed.\n\n"
                          " failed with error 0: ") +
                  std::strerror(0) + "\n");

    // The first plays on through every transport key (next, previous, phase twice, pause and resume,
    // back, forward, stop, a volume step up that the 0 dB ceiling holds, down, down, up and Enter, a
    // file prompt left empty), then one step down and quit: the settings keep the new volume.
    first.type("]][;; bf.+\x1b[B\x1b[B\x1b[A\no\n-q");
    ASSERT_TRUE(first.wait(std::chrono::seconds(30))) << first.output();
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_NE(env.readIni().find("VOLUME= -0.5\n"), std::string::npos) << env.readIni();
}

TEST(ConsolePlayer, TheSettingsWindowPrintsTheDriversAndCountsAsCancel) {
    PlayerEnvironment env("1");
    env.writeIniLines({"ASIO=Quoril Capture"});  // incomplete: the settings window opens
    PlayerProcess run({"--console"});
    ASSERT_TRUE(run.wait(std::chrono::seconds(30))) << run.output();
    EXPECT_EQ(run.exitCode(), 0);
    const std::string out = run.output();
    for (const char* text : {"== Ravek Diagnostics ==\nProcessing .ini file...\n",
                             "\nOn OK, settings will be activated.\n== Ravek Settings ==\n",
                             "\tQuoril Capture  (chosen)\n\t\tpair 0: Capture 1 / Capture 2\n",
                             "Quoril.ini and start the player again.\n"}) {
        EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
    }
    EXPECT_EQ(env.readIni(), "ASIO=Quoril Capture\n");  // cancel leaves the file as it was
}

}  // namespace
}  // namespace quoril::test
