#include "platform/ProcessList.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "platform/ThreadPriority.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

TEST(ProcessListTest, CountsItselfAndACopyRunningUnderTheSameName) {
    std::string self = std::filesystem::path(executablePath()).filename();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(countProcessesNamed(self), 1);

    // A copy of /bin/sleep named like a made-up program, running for a while.
    test::TempDir dir;
    std::string copy = dir.file("quoril-count-probe");
    std::filesystem::copy_file("/bin/sleep", copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(copy.c_str(), copy.c_str(), "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    // exec replaces the child's image; wait until /proc shows the new name.
    int seen = 0;
    for (int i = 0; i < 500 && seen == 0; ++i) {
        seen = countProcessesNamed("quoril-count-probe");
        if (seen == 0) {
            usleep(10000);
        }
    }
    EXPECT_EQ(countProcessesNamed("quoril-count-probe", {"30"}), 0)
        << "its first argument is an ignored mode";
    EXPECT_EQ(countProcessesNamed("quoril-count-probe", {"--check"}), 1);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(countProcessesNamed("quoril-count-probe"), 0);
}

TEST(ProcessListTest, PluginDirectoryIsBesideTheBinDirectory) {
    std::string exeDir = executableDirectory();
    std::string prefix = std::filesystem::path(exeDir).parent_path();
    EXPECT_EQ(driverPluginDirectory(), prefix + "/lib/quoril/drivers");
}

TEST(ThreadPriorityTest, ReportsWhetherTheSystemAllowedIt) {
    // Either outcome is legitimate on a test machine; what matters is that a refusal is reported
    // and the thread keeps its old policy.
    bool raised = raiseToRealtimePriority(pthread_self());
    int policy = 0;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    EXPECT_EQ(policy == SCHED_FIFO, raised);
    sched_param normal{};
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
}

}  // namespace
}  // namespace quoril
