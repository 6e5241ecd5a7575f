// Killing a process in the middle of saving its settings never leaves a broken settings file:
// after every kill the file is the old or the new text, complete.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "support/TempDir.h"

namespace quoril::test {
namespace {

// The two records the saver writes in turn: an ordinary one and a longer one, so a file cut short
// or mixed from both could never pass for either.
Settings record(bool second) {
    Settings s;
    s.asioDriverName = second ? std::string(300, 'D') : "Quoril Capture";
    s.outputRate = second ? 96000.0 : 44100.0;
    s.volumeDb = second ? -12.5 : -30.0;
    s.valid = true;
    return s;
}

// A child that saves the settings file over and over: the first record, then one byte to the pipe
// once that save is complete, then the two records in turn until it is killed. Returns its pid and
// the pipe's reading end.
std::pair<pid_t, int> startSaver(const std::string& iniPath) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return {-1, -1};
    }
    pid_t pid = fork();
    for (long n = 0; pid == 0; ++n) {
        settings() = record(n % 2 == 1);
        settings().iniPath = iniPath;
        if (!saveSettings(SaveForm::Confirm, settings().volumeDb) ||
            (n == 0 && write(pipeFds[1], "+", 1) != 1)) {
            _exit(1);
        }
    }
    close(pipeFds[1]);
    return {pid, pipeFds[0]};
}

TEST(SettingsKill, TwoHundredKillsDuringSavesLeaveTheOldOrTheNewCompleteFile) {
    TempDir dir;
    const std::string ini = dir.file("Quoril.ini");
    Settings first = record(false), second = record(true);
    const std::string firstText = composeSettingsFile(first), secondText = composeSettingsFile(second);
    ASSERT_NE(firstText, secondText);

    std::mt19937 random(20261205);
    std::uniform_int_distribution<int> killAfterMicroseconds(0, 3000);
    int sawFirst = 0, sawSecond = 0;
    for (int run = 0; run < 200; ++run) {
        const auto [pid, out] = startSaver(ini);
        ASSERT_GT(pid, 0);
        pollfd fd{out, POLLIN, 0};
        char byte = 0;
        const bool ready = poll(&fd, 1, 10000) == 1 && read(out, &byte, 1) == 1;
        // The kill lands at a random point of the save loop: before, during or after a write.
        std::this_thread::sleep_for(std::chrono::microseconds(killAfterMicroseconds(random)));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        close(out);
        ASSERT_TRUE(ready) << "run " << run << ": the saver never finished its first save";
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "run " << run << " status " << status;

        const std::string text = readFile(ini);
        ASSERT_TRUE(text == firstText || text == secondText)
            << "run " << run << ": the settings file is neither complete text (" << text.size() << " bytes)";
        ++(text == firstText ? sawFirst : sawSecond);
    }
    // Both records were caught on disk, so the kills did land between saves of either kind.
    EXPECT_GT(sawFirst, 0);
    EXPECT_GT(sawSecond, 0);

    // Temporary files of interrupted saves never take the settings file's name.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (entry.path().filename() != "Quoril.ini") {
            EXPECT_NE(entry.path().extension(), ".ini") << entry.path();
        }
    }
}

}  // namespace
}  // namespace quoril::test
