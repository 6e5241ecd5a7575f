#include <gtest/gtest.h>
#include <signal.h>

#include <sstream>
#include <string>
#include <vector>

#include "e2e/PlayerProcess.h"
#include "support/ChildProcess.h"
#include "ui/PlayerEnvironment.h"

namespace quoril::test {
namespace {

// A private session bus for one test, ended with it.
struct SessionBus {
    SessionBus() {
        std::istringstream(
            runProcess({"/usr/bin/dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"},
                       {}, "", std::chrono::seconds(10))
                .out) >>
            address >> pid;
    }
    ~SessionBus() {
        if (pid > 0) {
            kill(pid, SIGTERM);
        }
    }
    std::string address;
    pid_t pid = -1;
};

// One step: a command given through the bus, then a query whose answer must become expected
// (the player's state), and text the console's status line must show by then.
struct Step {
    std::vector<std::string> command;
    std::vector<std::string> query;
    std::string expected;
    std::string consoleShows;
};

constexpr const char* kTrackFormat =
    "{{mpris:trackid}}|{{xesam:trackNumber}}|{{xesam:title}}|"
    "{{xesam:album}}|{{xesam:artist}}|{{mpris:length}}";
const std::vector<std::string> kStatus = {"status"};
const std::vector<std::string> kTitle = {"metadata", "xesam:title"};

// The disc: three tracks of 20 s at 8 kHz, playing in real time from a volume of -10 dB.
const std::vector<Step> kSteps = {
    {{}, kStatus, "Playing", "01 00:0"},
    {{},
     {"metadata", "--format", kTrackFormat},
     "'/org/quoril/track/1'|1|Track 1|Fixture Album|The Testers|20000000",
     ""},
    {{}, {"metadata", "xesam:url"}, "file://<dir>/disc.wav", ""},
    {{"next"},
     {"metadata", "--format", kTrackFormat},
     "'/org/quoril/track/2'|2|Track 2|Fixture Album|The Testers|20000000",
     "02 00:0"},
    {{"previous"}, kTitle, "Track 1", "01 00:0"},
    {{"play-pause"}, kStatus, "Paused", ""},
    // Paused, the position stays where it was put: 5 s into track 1.
    {{"position", "5"}, {"position"}, "5.000000", "01 00:05"},
    {{"position", "3+"}, {"position"}, "8.000000", "01 00:08"},
    // Seeking beyond the track's end goes to the next track.
    {{"position", "30+"}, kTitle, "Track 2", "02 00:0"},
    // Like the window's button, the next track plays.
    {{}, kStatus, "Playing", ""},
    // 0.5 is -6.02 dB: the nearest half-decibel step is -6.0 dB, read back as 10^(-6/20).
    {{"volume", "0.5"}, {"volume"}, "0.501187", "  -6.0\n"},
    {{"volume", "0.3"}, {"volume"}, "0.298538", " -10.5\n"},  // -10.46 dB
    {{"volume", "0"}, {"volume"}, "0.000010", "-100.0\n"},
    {{"volume", "2"}, {"volume"}, "1.000000", "   0.0\n"},
    {{"volume", "0.5"}, {"volume"}, "0.501187", "  -6.0\n"},
    {{"stop"}, kStatus, "Stopped", ""},
    {{}, kTitle, "Track 1", ""},
    {{"play"}, kStatus, "Playing", ""},
};

class MprisTest : public ::testing::Test {
  protected:
    MprisTest() : env("1") {}

    ProcessResult busCall(const std::vector<std::string>& args) {
        return runProcess(args, {{"DBUS_SESSION_BUS_ADDRESS", bus.address}}, "", std::chrono::seconds(20));
    }
    std::string playerctl(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"/usr/bin/playerctl", "-p", "quoril"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string out = busCall(argv).out;
        return out.substr(0, out.find_last_not_of("\n ") + 1);
    }

    // Runs the player in the terminal or the window through every step, then quits it through
    // the bus as the close button would.
    void drive(bool console) {
        ASSERT_FALSE(bus.address.empty()) << "dbus-daemon gave no address";
        env.writeIni({"PLAYBACK=S"});
        const std::string cue = env.writeDisc({8000 * 20, 8000 * 20, 8000 * 20});
        PlayerProcess player(
            console ? std::vector<std::string>{"--console", cue} : std::vector<std::string>{cue},
            {{"DBUS_SESSION_BUS_ADDRESS", bus.address}, {"QT_QPA_PLATFORM", console ? "" : "offscreen"}});
        ASSERT_TRUE(waitUntil([&] { return playerctl({"status"}) == "Playing"; }, std::chrono::seconds(30)))
            << player.output();

        for (size_t i = 0; i < kSteps.size(); ++i) {
            const Step& step = kSteps[i];
            std::string expected = step.expected;
            if (size_t at = expected.find("<dir>"); at != std::string::npos) {
                expected.replace(at, 5, env.dir().path());
            }
            size_t outputBefore = player.output().size();
            if (!step.command.empty()) {
                playerctl(step.command);
            }
            std::string answer;
            EXPECT_TRUE(waitUntil([&] { return (answer = playerctl(step.query)) == expected; }))
                << "step " << i << ": " << answer << " instead of " << expected;
            if (console && !step.consoleShows.empty()) {
                EXPECT_TRUE(waitUntil([&] {
                    return player.output().find(step.consoleShows, outputBefore) != std::string::npos;
                })) << "step "
                    << i << " shows no \"" << step.consoleShows << "\"\n"
                    << player.output().substr(outputBefore);
            }
        }

        // A file:// URI of a disc opens it as the file-open button does; any other file is refused.
        std::vector<std::string> call = {"/usr/bin/dbus-send", "--session", "--print-reply",
                                         "--dest=org.mpris.MediaPlayer2.quoril", "/org/mpris/MediaPlayer2"};
        auto openUri = [&](const std::string& uri) {
            std::vector<std::string> args = call;
            args.insert(args.end(), {"org.mpris.MediaPlayer2.Player.OpenUri", "string:" + uri});
            return busCall(args);
        };
        ProcessResult refused = openUri("file://" + env.dir().file("Quoril.ini"));
        EXPECT_NE(refused.err.find("Only file:// URIs of .cue, .wav or .flac files."), std::string::npos)
            << refused.err;
        // The local host may be named, and any byte may be written as %XX.
        EXPECT_EQ(openUri("file://localhost" + cue.substr(0, cue.size() - 3) + "%63ue").exitCode, 0);
        EXPECT_TRUE(waitUntil(
            [&] { return playerctl(kStatus) == "Playing" && playerctl({"volume"}) == "0.501187"; }));

        call.push_back("org.mpris.MediaPlayer2.Quit");
        ProcessResult quit = busCall(call);
        EXPECT_EQ(quit.exitCode, 0) << quit.err;
        ASSERT_TRUE(player.wait(std::chrono::seconds(20))) << player.output();
        EXPECT_EQ(player.exitCode(), 0);
        // The close saved the settings with the volume set through the bus.
        EXPECT_NE(env.readIni().find("VOLUME= -6.0\n"), std::string::npos) << env.readIni();
        EXPECT_EQ(playerctl({"-l"}), "") << "the name stays on the bus after the player ended";
    }

    PlayerEnvironment env;
    SessionBus bus;
};

TEST_F(MprisTest, ConsolePlayerFollowsPlayerctlOnTheSessionBus) {
    drive(true);
}

TEST_F(MprisTest, WindowFollowsPlayerctlOnTheSessionBus) {
    drive(false);
}

}  // namespace
}  // namespace quoril::test
