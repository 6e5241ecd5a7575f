#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TempDir.h"

namespace quoril {
namespace {

constexpr const char* kSample =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; a comment line\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\r\n"
    "\"Short\"=\"x\"\r\n"
    "\"Path\"=\"/opt/quoril\"\r\n"
    "@=\"default\"\r\n"
    "\"Count\"=dword:0000000a\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Zeta Driver]\r\n"
    "\"CLSID\"=\"{11111111-2222-3333-4444-555555555555}\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\alpha driver]\r\n"
    "\"Description\"=\"Alpha \\\"quoted\\\" \\\\ back\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Zeta Driver\\Sub]\r\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32]\r\n"
    "@=\"/usr/lib/quoril/drivers/zeta.so\"\r\n";

TEST(RegistryTest, KeysCompareWithoutCaseAndValuesEnumerateInFileOrder) {
    Registry registry;
    registry.parse(kSample);

    auto values = registry.values("hkey_local_machine\\software\\RAVEK");
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].name, "Short");
    EXPECT_EQ(values[1].name, "Path");
    EXPECT_EQ(values[1].text, "/opt/quoril");
    EXPECT_EQ(values[2].name, "");
    EXPECT_EQ(values[2].text, "default");
    EXPECT_EQ(values[3].type, Registry::Type::Dword);
    EXPECT_EQ(values[3].dword, 10u);
}

TEST(RegistryTest, AValueNamedTwiceKeepsItsFirstPlaceAndTheLastData) {
    Registry registry;
    registry.parse("[HKLM\\K]\n\"path\"=\"1\"\n\"other\"=\"2\"\n\"PATH\"=\"3\"\n");
    auto values = registry.values("HKLM\\K");
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].name, "PATH");
    EXPECT_EQ(values[0].text, "3");
}

TEST(RegistryTest, SubkeysInFileOrderOnceEach) {
    Registry registry;
    registry.parse(kSample);
    std::vector<std::string> expected = {"Zeta Driver", "alpha driver"};
    EXPECT_EQ(registry.subkeys("HKLM\\SOFTWARE\\ASIO"), expected);
    EXPECT_TRUE(registry.keyExists("HKEY_LOCAL_MACHINE\\SOFTWARE"));
    EXPECT_FALSE(registry.keyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing"));
}

TEST(RegistryTest, EscapesAndDefaultValues) {
    Registry registry;
    registry.parse(kSample);
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\ASIO\\Alpha Driver", "description").value(),
              "Alpha \"quoted\" \\ back");
    EXPECT_EQ(registry.stringValue("HKCR\\clsid\\{11111111-2222-3333-4444-555555555555}\\InprocServer32", "")
                  .value(),
              "/usr/lib/quoril/drivers/zeta.so");
    EXPECT_FALSE(registry.stringValue("HKLM\\SOFTWARE\\Ravek", "Missing").has_value());
}

struct MalformedCase {
    const char* name;
    const char* text;
    size_t expectedValues;
};

class RegistryMalformedTest : public testing::TestWithParam<MalformedCase> {};

TEST_P(RegistryMalformedTest, SkipsTheBadLineAndKeepsTheRest) {
    Registry registry;
    registry.parse(GetParam().text);
    EXPECT_EQ(registry.values("HKLM\\K").size(), GetParam().expectedValues);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RegistryMalformedTest,
    testing::Values(MalformedCase{"unbalanced_bracket", "[HKLM\\K\n\"a\"=\"1\"\n[HKLM\\K]\n\"b\"=\"2\"\n", 1},
                    MalformedCase{"unterminated_string", "[HKLM\\K]\n\"a\"=\"1\n\"b\"=\"2\"\n", 1},
                    MalformedCase{"no_equals", "[HKLM\\K]\n\"a\" \"1\"\n\"b\"=\"2\"\n", 1},
                    MalformedCase{"bad_dword", "[HKLM\\K]\n\"a\"=dword:xyz\n\"b\"=dword:1\n", 1},
                    MalformedCase{"binary_value", "[HKLM\\K]\n\"a\"=hex:01,02\n\"b\"=\"2\"\n", 1},
                    MalformedCase{"value_before_any_key", "\"a\"=\"1\"\n[HKLM\\K]\n\"b\"=\"2\"\n", 1},
                    MalformedCase{"deleted_key", "[-HKLM\\K]\n\"a\"=\"1\"\n", 0},
                    MalformedCase{"control_bytes", "[HKLM\\K]\n\x01\x02\xff\n\"b\"=\"2\"\n", 1}),
    [](const auto& info) { return info.param.name; });

TEST(RegistryTest, WriteThenReadGivesTheSameKeysAndValues) {
    test::TempDir dir;
    Registry registry;
    registry.parse(kSample);
    registry.setString("HKLM\\SOFTWARE\\Ravek", "PATH", "/new/place");  // replaces "path"
    registry.setDword("HKLM\\SOFTWARE\\ASIO\\New", "Speed", 50);
    registry.setString("HKLM\\SOFTWARE\\ASIO\\New", "Notes", std::string(100 * 1024, 'v'));
    ASSERT_TRUE(registry.save(dir.file("out.reg")));

    Registry again;
    ASSERT_TRUE(again.load(dir.file("out.reg")));
    EXPECT_EQ(again.serialize(), registry.serialize());
    EXPECT_EQ(again.stringValue("HKLM\\SOFTWARE\\Ravek", "path").value(), "/new/place");
    EXPECT_EQ(again.value("HKLM\\SOFTWARE\\ASIO\\New", "speed")->dword, 50u);
    EXPECT_EQ(again.stringValue("HKLM\\SOFTWARE\\ASIO\\New", "notes").value(), std::string(100 * 1024, 'v'));
    EXPECT_EQ(test::readFile(dir.file("out.reg")).rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
}

TEST(RegistryTest, DeleteKeyRemovesItsSubtree) {
    Registry registry;
    registry.parse(kSample);
    registry.deleteKey("HKLM\\SOFTWARE\\ASIO\\zeta driver");
    std::vector<std::string> expected = {"alpha driver"};
    EXPECT_EQ(registry.subkeys("HKLM\\SOFTWARE\\ASIO"), expected);
}

TEST(RegistryTest, LocateFollowsTheEnvironment) {
    test::TempDir dir;
    std::string reg = dir.write("mine.reg", "");
    setenv("QUORIL_REGISTRY", reg.c_str(), 1);
    EXPECT_EQ(Registry::locate(), reg);
    EXPECT_EQ(Registry::userPath(), reg);
    unsetenv("QUORIL_REGISTRY");

    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(Registry::userPath(), dir.path() + "/quoril/registry.reg");
    unsetenv("XDG_CONFIG_HOME");

    setenv("HOME", dir.path().c_str(), 1);
    EXPECT_EQ(Registry::userPath(), dir.path() + "/.config/quoril/registry.reg");
}

TEST(RegistryTest, MissingFileLoadsEmpty) {
    Registry registry;
    EXPECT_FALSE(registry.load("/nonexistent/registry.reg"));
    EXPECT_TRUE(registry.subkeys("HKLM\\SOFTWARE").empty());
}

}  // namespace
}  // namespace quoril
