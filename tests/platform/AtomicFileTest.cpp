#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "support/TempDir.h"

namespace quoril {
namespace {

TEST(AtomicFileTest, CommitReplacesTheTargetAndLeavesNoTemporaryFile) {
    test::TempDir dir;
    std::string target = dir.write("settings.ini", "old\n");
    ASSERT_TRUE(writeFileAtomically(target, "new content\n"));
    EXPECT_EQ(test::readFile(target), "new content\n");
    size_t files = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

TEST(AtomicFileTest, AbandonedWriterKeepsTheOldFile) {
    test::TempDir dir;
    std::string target = dir.write("settings.ini", "old\n");
    {
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.open(target));
        std::fputs("half a fi", writer.stream());
    }
    EXPECT_EQ(test::readFile(target), "old\n");
}

TEST(AtomicFileTest, MissingDirectoryFailsToOpen) {
    AtomicFileWriter writer;
    EXPECT_FALSE(writer.open("/nonexistent-dir/file.ini"));
    EXPECT_FALSE(writer.commit());
}

// A write that the system refuses halfway (here: the file size limit) must leave the old file whole.
TEST(AtomicFileTest, FailedWriteKeepsTheOldFileByteForByte) {
    test::TempDir dir;
    std::string target = dir.write("settings.ini", "ASIO=old\n");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        bool ok = writeFileAtomically(target, std::string(100000, 'x'));
        _exit(ok ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the oversized write was reported as a success";
    EXPECT_EQ(test::readFile(target), "ASIO=old\n");
}

}  // namespace
}  // namespace quoril
