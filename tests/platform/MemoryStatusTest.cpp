#include "platform/MemoryStatus.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TempDir.h"

namespace quoril {
namespace {

TEST(MemoryStatusTest, ReadsTheRealMachine) {
    MemoryStatus status;
    ASSERT_TRUE(readMemoryStatus(status, "/proc/meminfo"));
    EXPECT_GT(status.totalBytes, 0u);
    EXPECT_GT(status.availableBytes, 0u);
    EXPECT_LE(status.availableBytes, status.totalBytes);
}

TEST(MemoryStatusTest, OverrideFileSimulatesASmallMachine) {
    test::TempDir dir;
    std::string path = dir.write("meminfo",
                                 "MemTotal:        2048 kB\n"
                                 "MemFree:          100 kB\n"
                                 "MemAvailable:     1024 kB\n");
    setenv("QUORIL_MEMINFO", path.c_str(), 1);
    MemoryStatus status;
    ASSERT_TRUE(readMemoryStatus(status));
    unsetenv("QUORIL_MEMINFO");
    EXPECT_EQ(status.totalBytes, 2048u * 1024);
    EXPECT_EQ(status.availableBytes, 1024u * 1024);
}

TEST(MemoryStatusTest, IncompleteFileIsAFailure) {
    test::TempDir dir;
    MemoryStatus status;
    EXPECT_FALSE(readMemoryStatus(status, dir.write("meminfo", "MemTotal: 5 kB\n")));
    EXPECT_FALSE(readMemoryStatus(status, dir.file("absent")));
}

}  // namespace
}  // namespace quoril
