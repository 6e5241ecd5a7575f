#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include "ContentTestSupport.h"
#include "platform/LockedMemory.h"

namespace quoril::test {
namespace {

struct MemoryCase {
    const char* name;
    const char* file;  // a.wav of 6 s or a.flac of 3 s
    off_t size;        // when not 0, the file is padded to this size; only the size is checked
    const char* meminfo;
    bool accepted;
    std::string message;
};

class MemoryCheckTest : public ContentTest, public ::testing::WithParamInterface<MemoryCase> {};

// A WAV store counts against the available memory; a FLAC file's size counts against it and against
// 2 GiB, whatever the memory.
TEST_P(MemoryCheckTest, StoreLargerThanTheAvailableMemoryIsRefused) {
    const MemoryCase& c = GetParam();
    const std::string path =
        std::string(c.file).ends_with(".wav") ? wav(c.file, 44100 * 6) : flac(c.file, 44100 * 3);
    if (c.size != 0) {
        ASSERT_EQ(truncate(path.c_str(), c.size), 0);
    }
    ScopedEnv env("QUORIL_MEMINFO", dir.write("meminfo", c.meminfo));
    open(path);
    EXPECT_EQ(static_cast<bool>(disc->active), c.accepted);
    EXPECT_EQ(disc->audioData != nullptr, c.accepted);
    EXPECT_NE(openText().find(c.message), std::string::npos) << openText();
}

const std::string kFlacTooLarge = "\r\nFLAC file is too large!\r\n\tPhysical (";
constexpr const char* kBigMachine = "MemTotal: 67108864 kB\nMemAvailable: 50331648 kB\n";

INSTANTIATE_TEST_SUITE_P(
    Machines, MemoryCheckTest,
    ::testing::Values(
        // The WAV store is 2,210,400 bytes with its tail; + 14,360,576 = 16,182.59 kB
        MemoryCase{"just_enough", "a.wav", 0, "MemTotal: 4194304 kB\nMemAvailable: 16183 kB\n", true,
                   "\r\n     RAM allocation (2MB) successful\r\n"},
        MemoryCase{"one_kilobyte_short", "a.wav", 0, "MemTotal: 4194304 kB\nMemAvailable: 16182 kB\n", false,
                   "\r\nWav data is too large!\r\n\tPhysical (4096MB), Available (2MB), Required (2MB).\r\n"},
        MemoryCase{
            "flac_over_two_gibibytes", "a.flac", 2147483649LL, kBigMachine, false,
            kFlacTooLarge +
                "65536MB), Available (49138MB), Minimum Required (2048MB), Max supported (2048MB).\r\n"},
        // Validation stops at the first audio frame.
        MemoryCase{"flac_of_two_gibibytes", "a.flac", 2147483648LL, kBigMachine, true,
                   "RAM allocation (1MB)"}),
    [](const auto& info) { return std::string(info.param.name); });

// With locking refused by a zero limit the store falls back to ordinary memory; with the usual
// limit it is locked where the system allows it. Either way the audio arrives whole.
TEST_F(ContentTest, LockedStoreIsUsedWhenAskedOrFallsBack) {
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
        EXPECT_TRUE(
            openText().ends_with((locked ? "\r\n     AWE sucessful\r\n"
                                         : "\r\n     AWE failed, reverting to standard allocation\r\n") +
                                 std::string("\r\n     RAM allocation (1MB) successful\r\n")))
            << openText();
        EXPECT_EQ(disc->physicalPageCount, locked ? (disc->byteCount + page - 1) / page : 0);
        load();
        EXPECT_TRUE(storeAudio() == expected["a.wav"]);
    }
}

}  // namespace
}  // namespace quoril::test
