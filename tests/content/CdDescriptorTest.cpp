#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include "ContentTestSupport.h"
#include "platform/LockedMemory.h"

namespace quoril::test {
namespace {

class CdDescriptorTest : public ContentTest {};

TEST_F(CdDescriptorTest, TwoSecondsOverAllFilesAreAcceptedAndOneFrameLessIsRefused) {
    wav("a.wav", 44100);
    wav("b.wav", 44100, 16, 44100, 2);
    open(cue("disc.cue",
             "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
             "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"));
    EXPECT_TRUE(disc->active) << openText();
    EXPECT_EQ(disc->frameCount, 88200.0);

    open(wav("short.wav", 88199));
    EXPECT_FALSE(disc->active);
    EXPECT_EQ(disc->audioData, nullptr);
    EXPECT_TRUE(openText().ends_with(
        "\tRate = 16/44100 (2 channels)\r\n\tSamples = 88199 (  0: 1)\r\n"
        "\r\nAt least 2 or more seconds of sound data is needed. Wav file is too small.\r\n"))
        << openText();
}

struct MemoryCase {
    const char* name;
    const char* meminfo;
    const char* message;  // nullptr: allocated
};

class MemoryCheckTest : public CdDescriptorTest, public ::testing::WithParamInterface<MemoryCase> {};

TEST_P(MemoryCheckTest, StoreLargerThanTheAvailableMemoryIsRefused) {
    std::string path = wav("a.wav", 44100 * 6);  // 1,058,400 audio bytes, 2,210,400 with the tail
    ScopedEnv env("QUORIL_MEMINFO", dir.write("meminfo", GetParam().meminfo));
    open(path);
    std::string text = openText();
    if (GetParam().message == nullptr) {
        EXPECT_TRUE(disc->active) << text;
        EXPECT_NE(text.find("\r\n     RAM allocation (2MB) successful\r\n"), std::string::npos) << text;
    } else {
        EXPECT_FALSE(disc->active);
        EXPECT_EQ(disc->audioData, nullptr);
        EXPECT_NE(text.find(GetParam().message), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Machines, MemoryCheckTest,
    ::testing::Values(
        // 2,210,400 + 14,360,576 = 16,570,976 bytes = 16,182.59 kB
        MemoryCase{"just_enough", "MemTotal: 4194304 kB\nMemAvailable: 16183 kB\n", nullptr},
        MemoryCase{"one_kilobyte_short", "MemTotal: 4194304 kB\nMemAvailable: 16182 kB\n",
                   "\r\nWav data is too large!\r\n\tPhysical (4096MB), Available (2MB), Required (2MB).\r\n"},
        // Below the reserve the available figure is negative: its low 32 bits shifted right by 20.
        MemoryCase{"below_the_reserve", "MemTotal: 1048576 kB\nMemAvailable: 1024 kB\n",
                   "\r\nWav data is too large!\r\n\tPhysical (1024MB), Available (4294967283MB), Required "
                   "(2MB).\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CdDescriptorTest, MemoryFiguresAreRefreshedIntoTheSettings) {
    std::string path = wav("a.wav", 44100 * 3);
    ScopedEnv env("QUORIL_MEMINFO", dir.write("meminfo", "MemTotal: 2097152 kB\nMemAvailable: 1048576 kB\n"));
    open(path);
    EXPECT_EQ(settings.totalMemory, 2147483648ULL);
    EXPECT_EQ(settings.availableMemory, 1073741824LL - 14360576LL);
}

TEST_F(CdDescriptorTest, LockedStoreTakesOnePagePerPageSizeRoundedUp) {
    const size_t page = systemPageSize();
    open(wav("a.wav", 44100 * 3));
    for (size_t bytes : {page * 16, page * 16 + 1}) {
        uint8_t* store = disc->AllocateLockedMemory(static_cast<int64_t>(bytes));
        if (store == nullptr) {
            GTEST_SKIP() << "locking memory is refused here";
        }
        EXPECT_EQ(disc->physicalPageCount, bytes % page == 0 ? 16u : 17u);
        EXPECT_EQ(store[0], 0);
        EXPECT_EQ(store[bytes - 1], 0);
        store[bytes - 1] = 1;
        disc->ReleaseLockedMemory(store);
        EXPECT_EQ(disc->physicalPageCount, 0u);
    }
}

// With locking refused by a zero limit the store falls back to ordinary memory; with the usual
// limit it is locked where the system allows it. Either way the audio arrives whole.
TEST_F(CdDescriptorTest, LockedStoreIsUsedWhenAskedOrFallsBack) {
    const std::string path = wav("a.wav", 44100 * 3);
    const std::string fellBack =
        "\r\n     AWE failed, reverting to standard allocation\r\n\r\n     RAM allocation (1MB) "
        "successful\r\n";
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
        if (disc->physicalPageCount == 0) {
            EXPECT_NE(openText().find(fellBack), std::string::npos) << openText();
        } else {
            EXPECT_NE(
                openText().find("\r\n     AWE sucessful\r\n\r\n     RAM allocation (1MB) successful\r\n"),
                std::string::npos)
                << openText();
            EXPECT_EQ(disc->physicalPageCount, (disc->byteCount + page - 1) / page);
        }
        load();
        EXPECT_TRUE(storeAudio() == expected["a.wav"]);
    }
}

TEST_F(CdDescriptorTest, TrackViewShowsOneRow) {
    wav("a.wav", 441000);
    open(cue("disc.cue",
             "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
             "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:05:00\n"));
    ASSERT_TRUE(disc->active);
    CdTrack second = disc->track(1);
    EXPECT_EQ(second.number, 2);
    EXPECT_EQ(second.title, "Two");
    EXPECT_EQ(second.start, 220500);
    EXPECT_EQ(second.length, 220500);
    EXPECT_EQ(second.file, 0);
    EXPECT_EQ(disc->track(2).number, 0);
    EXPECT_EQ(disc->track(-1).number, 0);
}

}  // namespace
}  // namespace quoril::test
