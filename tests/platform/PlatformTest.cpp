#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/LineReader.h"
#include "platform/NamedEvent.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

struct LineCase {
    const char* name;
    std::string text;
    size_t limit;
    std::vector<std::string> expected;
};

class LineReaderTest : public testing::TestWithParam<LineCase> {};

// Text-mode fgets, from a text and from a file: CR LF becomes LF, a long line comes in pieces.
TEST_P(LineReaderTest, SplitsAsTextModeFgetsWould) {
    const LineCase& c = GetParam();
    test::TempDir dir;
    LineReader fromText, fromFile;
    fromText.openText(c.text);
    ASSERT_TRUE(fromFile.open(dir.write("f.txt", c.text)));
    for (LineReader* reader : {&fromText, &fromFile}) {
        std::vector<std::string> lines;
        std::string line;
        while (reader->readLine(line, c.limit)) {
            lines.push_back(line);
        }
        EXPECT_EQ(lines, c.expected);
    }
    EXPECT_FALSE(LineReader().open(dir.file("absent.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LineReaderTest,
    testing::Values(
        LineCase{"crlf_becomes_lf_and_the_end_may_be_bare", "A\r\nB\r\nC", 1023, {"A\n", "B\n", "C"}},
        LineCase{"lone_cr_is_kept_also_at_the_end", "A\rB\nC\r", 1023, {"A\rB\n", "C\r"}},
        LineCase{"long_lines_continue", "abcdefgh\nabc\nd\n", 3, {"abc", "def", "gh\n", "abc", "\n", "d\n"}},
        LineCase{"crlf_split_by_limit", "ab\r\nc", 2, {"ab", "\n", "c"}},
        LineCase{"empty_input", "", 1023, {}}, LineCase{"blank_lines", "\n\r\n\n", 1023, {"\n", "\n", "\n"}}),
    [](const auto& info) { return info.param.name; });

TEST(NamedEventTest, SignalsBeforeAWaitGiveOneWakeAndCloseWakesAWaiterWithFailure) {
    NamedEvent event("_tamu_DSP_732");
    event.signal();
    event.signal();
    EXPECT_TRUE(event.waitFor(1000));
    EXPECT_FALSE(event.waitFor(20)) << "an auto-reset event clears itself on the first wake";

    std::atomic<int> woken{-1};
    std::thread signalled([&] { woken = event.wait() ? 1 : 0; });
    event.signal();
    signalled.join();
    EXPECT_EQ(woken.load(), 1);

    std::thread closed([&] { woken = event.wait() ? 1 : 0; });
    event.close();
    closed.join();
    EXPECT_EQ(woken.load(), 0);
    EXPECT_FALSE(event.waitFor(1000));
}

// The player refuses a second start by this count, so a miscount either blocks every start or lets
// two players share the device.
TEST(ProcessListTest, CountsACopyRunningUnderTheNameButNotInAnIgnoredMode) {
    test::TempDir dir;
    const std::string copy = dir.file("quoril-count-probe");
    std::filesystem::copy_file("/bin/sleep", copy);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(copy.c_str(), copy.c_str(), "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    int seen = 0;
    for (int i = 0; i < 500 && (seen = countProcessesNamed("quoril-count-probe")) == 0; ++i) {
        usleep(10000);  // until exec shows the new name in /proc
    }
    EXPECT_EQ(countProcessesNamed("quoril-count-probe", {"30"}), 0)
        << "its first argument is an ignored mode";
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(countProcessesNamed("quoril-count-probe"), 0);
}

// A save cut short (the writer abandoned mid-way, as when the process ends) keeps the old file.
TEST(AtomicFileTest, AnAbandonedWriteKeepsTheOldFileAndACommitLeavesNoTemporaryFile) {
    test::TempDir dir;
    const std::string target = dir.write("settings.ini", "old\n");
    {
        AtomicFileWriter writer;
        ASSERT_TRUE(writer.open(target));
        std::fputs("half a fi", writer.stream());
    }
    EXPECT_EQ(test::readFile(target), "old\n");
    ASSERT_TRUE(writeFileAtomically(target, "new\n"));
    EXPECT_EQ(test::readFile(target), "new\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    AtomicFileWriter nowhere;
    EXPECT_FALSE(nowhere.open("/nonexistent-dir/file.ini"));
    EXPECT_FALSE(nowhere.commit());
}

constexpr const char* kSample =
    "Windows Registry Editor Version 5.00\r\n\r\n; a comment line\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\r\n"
    "\"Short\"=\"x\"\r\n\"Path\"=\"/opt/quoril\"\r\n@=\"default\"\r\n\"Count\"=dword:0000000a\r\n"
    "\"short\"=\"y\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Zeta Driver]\r\n"
    "\"CLSID\"=\"{11111111-2222-3333-4444-555555555555}\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\alpha driver]\r\n"
    "\"Description\"=\"Alpha \\\"quoted\\\" \\\\ back\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Zeta Driver\\Sub]\r\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32]\r\n"
    "@=\"/usr/lib/quoril/drivers/zeta.so\"\r\n";

// Keys compare without case, values keep their first place and take the last data, subkeys come
// in file order once each; what is saved loads back the same.
TEST(RegistryTest, ReadsKeysAndValuesAsTheDriverListAndStartUpNeedThemAndSavesThemBack) {
    Registry registry;
    registry.parse(kSample);
    auto values = registry.values("hkey_local_machine\\software\\RAVEK");
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].name + "=" + values[0].text, "short=y");
    EXPECT_EQ(values[2].name + "=" + values[2].text, "=default");
    EXPECT_EQ(values[3].type, Registry::Type::Dword);
    EXPECT_EQ(values[3].dword, 10u);
    EXPECT_EQ(registry.subkeys("HKLM\\SOFTWARE\\ASIO"),
              (std::vector<std::string>{"Zeta Driver", "alpha driver"}));
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\ASIO\\Alpha Driver", "description"),
              "Alpha \"quoted\" \\ back");
    EXPECT_EQ(registry.stringValue("HKCR\\clsid\\{11111111-2222-3333-4444-555555555555}\\InprocServer32", ""),
              "/usr/lib/quoril/drivers/zeta.so");

    registry.setString("HKLM\\SOFTWARE\\Ravek", "PATH", "/new/place");
    registry.setDword("HKLM\\SOFTWARE\\ASIO\\New", "Speed", 50);
    registry.setString("HKLM\\SOFTWARE\\ASIO\\New", "Notes", std::string(100 * 1024, 'v'));
    registry.deleteKey("HKLM\\SOFTWARE\\ASIO\\zeta driver");
    test::TempDir dir;
    ASSERT_TRUE(registry.save(dir.file("out.reg")));
    Registry again;
    ASSERT_TRUE(again.load(dir.file("out.reg")));
    EXPECT_EQ(again.serialize(), registry.serialize());
    EXPECT_EQ(again.stringValue("HKLM\\SOFTWARE\\Ravek", "path"), "/new/place");
    EXPECT_EQ(again.value("HKLM\\SOFTWARE\\ASIO\\New", "speed")->dword, 50u);
    EXPECT_EQ(again.subkeys("HKLM\\SOFTWARE\\ASIO"), (std::vector<std::string>{"alpha driver", "New"}));
    EXPECT_EQ(test::readFile(dir.file("out.reg")).rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_FALSE(again.load("/nonexistent/registry.reg"));
}

struct MalformedCase {
    const char* name;
    const char* text;
    const char* kept;  // the values of HKLM\K that remain, as "name=text,"
};

class RegistryMalformedTest : public testing::TestWithParam<MalformedCase> {};

TEST_P(RegistryMalformedTest, SkipsTheBadLineOrSectionAndKeepsTheRest) {
    Registry registry;
    registry.parse(GetParam().text);
    std::string kept;
    for (const auto& value : registry.values("HKLM\\K")) {
        kept += value.name + "=" + value.text + ",";
    }
    EXPECT_EQ(kept, GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RegistryMalformedTest,
    testing::Values(MalformedCase{"bad_key_lines_and_a_value_before_any_key",
                                  "\"z\"=\"0\"\n[HKLM\\K\n\"a\"=\"1\"\n[[HKLM\\K]\n\"a\"=\"1\"\n[HKLM\\K]]\n"
                                  "\"c\"=\"3\"\n[HKLM\\K]\n\"b\"=\"2\"\n[\n]\n[]\n",
                                  "b=2,"},
                    MalformedCase{
                        "bad_values",
                        "[HKLM\\K]\n\"a\"=\"1\n\"c\" \"1\"\n\x01\x02\xff\n\"d\"=dword:xyz\n\"e\"=hex:01,02\n"
                        "\"b\"=\"2\"\n\"f\"=\"3\n",
                        "b=2,"},
                    MalformedCase{"deleted_key", "[-HKLM\\K]\n\"a\"=\"1\"\n", ""}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quoril
