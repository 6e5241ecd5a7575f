#include <gtest/gtest.h>

#include <sys/resource.h>

#include "ContentTestSupport.h"
#include "platform/LockedMemory.h"

namespace quoril::test {
namespace {

class CdDescriptorTest : public ContentTest {};

struct MemoryCase {
    const char* name;
    const char* meminfo;
    bool accepted;
    const char* message;
};

class MemoryCheckTest : public CdDescriptorTest, public ::testing::WithParamInterface<MemoryCase> {};

TEST_P(MemoryCheckTest, StoreLargerThanTheAvailableMemoryIsRefused) {
    std::string path = wav("a.wav", 44100 * 6);  // 1,058,400 audio bytes, 2,210,400 with the tail
    ScopedEnv env("QUORIL_MEMINFO", dir.write("meminfo", GetParam().meminfo));
    open(path);
    EXPECT_EQ(static_cast<bool>(disc->active), GetParam().accepted);
    EXPECT_EQ(disc->audioData != nullptr, GetParam().accepted);
    EXPECT_NE(openText().find(GetParam().message), std::string::npos) << openText();
}

INSTANTIATE_TEST_SUITE_P(
    Machines, MemoryCheckTest,
    ::testing::Values(
        // 2,210,400 + 14,360,576 = 16,570,976 bytes = 16,182.59 kB
        MemoryCase{"just_enough", "MemTotal: 4194304 kB\nMemAvailable: 16183 kB\n", true,
                   "\r\n     RAM allocation (2MB) successful\r\n"},
        MemoryCase{"one_kilobyte_short", "MemTotal: 4194304 kB\nMemAvailable: 16182 kB\n", false,
                   "\r\nWav data is too large!\r\n\tPhysical (4096MB), Available (2MB), Required (2MB).\r\n"},
        // Below the reserve the available figure is negative: its low 32 bits shifted right by 20.
        MemoryCase{"below_the_reserve", "MemTotal: 1048576 kB\nMemAvailable: 1024 kB\n", false,
                   "\r\nWav data is too large!\r\n\tPhysical (1024MB), Available (4294967283MB), Required "
                   "(2MB).\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// With locking refused by a zero limit the store falls back to ordinary memory; with the usual
// limit it is locked where the system allows it. Either way the audio arrives whole.
TEST_F(CdDescriptorTest, LockedStoreIsUsedWhenAskedOrFallsBack) {
    const std::string path = wav("a.wav", 44100 * 3);
    settings.useAwe = true;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_MEMLOCK, &old), 0);
    for (bool refused : {true, false}) {
        rlimit limit = old;
        limit.rlim_cur = refused ? 0 : old.rlim_cur;
        ASSERT_EQ(setrlimit(RLIMIT_MEMLOCK, &limit), 0);
        open(path);
        setrlimit(RLIMIT_MEMLOCK, &old);
        ASSERT_TRUE(disc->active) << openText();
        const size_t page = systemPageSize();
        const bool locked = disc->physicalPageCount != 0;
        EXPECT_NE(
            openText().find(locked ? "\r\n     AWE sucessful\r\n\r\n     RAM allocation (1MB) successful\r\n"
                                   : "\r\n     AWE failed, reverting to standard allocation\r\n\r\n     "
                                     "RAM allocation (1MB) successful\r\n"),
            std::string::npos)
            << openText();
        EXPECT_EQ(disc->physicalPageCount, locked ? (disc->byteCount + page - 1) / page : 0);
        load();
        EXPECT_TRUE(storeAudio() == expected["a.wav"]);
    }
}

}  // namespace
}  // namespace quoril::test
