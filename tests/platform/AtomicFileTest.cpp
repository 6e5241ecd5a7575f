#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quoril
