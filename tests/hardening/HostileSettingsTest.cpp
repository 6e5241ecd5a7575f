// Settings and registry files that are garbage or stretch every size: the reader refuses what it
// cannot use with its messages and keeps every value within its field.

#include <gtest/gtest.h>

#include <random>

#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "config/SettingsTestData.h"
#include "platform/DiagnosticsLog.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace quoril::test {
namespace {

std::string randomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

class HostileSettingsTest : public ::testing::TestWithParam<uint32_t> {
  protected:
    TempDir dir;
};

TEST_P(HostileSettingsTest, RandomBytesAsTheSettingsFileLeaveTheConfigurationInvalidAndInRange) {
    dir.write("Quoril.ini", randomBytes(64 * 1024, GetParam()));
    Registry registry;
    registry.parse(registryFileNaming(dir.path()));
    Settings s;
    listThreeDrivers(s);
    DiagnosticsLog log;
    EXPECT_EQ(readSettingsFile(s, registry, "SOFTWARE\\Ravek", "Quoril.ini", log), 1);
    EXPECT_FALSE(s.valid);
    std::string text = log.snapshot();
    ASSERT_GE(text.size(), std::string(kInvalidBlock).size());
    EXPECT_EQ(text.substr(text.size() - std::string(kInvalidBlock).size()), kInvalidBlock);
    EXPECT_GE(s.volumeDb, -100.0);
    EXPECT_LE(s.volumeDb, 0.0);
    EXPECT_TRUE(s.phase == 0 || s.phase == 180);
    EXPECT_TRUE(s.converterType == 0 || s.converterType == 1);
    EXPECT_GE(s.playbackMode, 1);
    EXPECT_LE(s.playbackMode, 4);
    EXPECT_LE(s.asioDriverName.size(), size_t(Settings::kMaxTextChars));
    EXPECT_LE(s.converterText.size(), size_t(Settings::kMaxTextChars));
}

INSTANTIATE_TEST_SUITE_P(Seeds, HostileSettingsTest, ::testing::Values(1u, 2u, 3u, 4u));

TEST(HostileSettingsLines, OverlongValuesAreKeptWithinTheirFields) {
    TempDir dir;
    const std::string wide(5000, 'A');
    dir.write("Quoril.ini", "ASIO=" + wide + "\nSRC=" + wide + "\nRATE=" + wide + "\nVOLUME=-" + wide +
                                "\nDIAGNOSTICS=" + wide + "\n");
    Registry registry;
    registry.parse(registryFileNaming(dir.path()));
    Settings s;
    listThreeDrivers(s);
    DiagnosticsLog log;
    EXPECT_EQ(readSettingsFile(s, registry, "SOFTWARE\\Ravek", "Quoril.ini", log), 1);
    EXPECT_FALSE(s.valid);
    EXPECT_LE(s.asioDriverName.size(), size_t(Settings::kMaxTextChars));
    EXPECT_LE(s.converterText.size(), size_t(Settings::kMaxTextChars));
    EXPECT_NE(log.snapshot().find("ASIO driver is invalid. Redo settings.\r\n"), std::string::npos)
        << log.snapshot();
}

TEST(HostileRegistry, UnbalancedBracketsLoseOnlyTheirOwnSections) {
    Registry registry;
    registry.parse(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek\n"
        "\"Path\"=\"/wrong/one\"\n"
        "[[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n"
        "\"Path\"=\"/wrong/two\"\n"
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n"
        "\"Path\"=\"/wrong/three\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Good]]\n"
        "\"CLSID\"=\"x\"\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n"
        "\"Path\"=\"/right\n"
        "\"Path\"=\"/right\"\n"
        "[\n]\n[]\n");
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\Ravek", "Path"), std::optional<std::string>("/right"));
    EXPECT_FALSE(registry.keyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Good]"));
    EXPECT_EQ(registry.values("HKLM\\SOFTWARE\\Ravek").size(), 1u);
}

TEST(HostileRegistry, AHundredKilobyteValueIsReadWholeButIsNoInstallationPath) {
    const std::string huge(100 * 1024, 'p');
    Registry registry;
    registry.parse(
        "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n\"Path\"=\"/" + huge +
        "\"\n\"Other\"=\"" + huge + "\"\n");
    std::optional<std::string> path = registry.stringValue("HKLM\\SOFTWARE\\Ravek", "Path");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->size(), huge.size() + 1);
    // Start-up reads a value into a 1,024-byte buffer; one that does not fit is skipped like any
    // value that cannot be read, so the player says it has no installation path.
    EXPECT_EQ(findInstallationPath(registry, "SOFTWARE\\Ravek"), "");
    Settings s;
    DiagnosticsLog log;
    EXPECT_EQ(readSettingsFile(s, registry, "SOFTWARE\\Ravek", "Quoril.ini", log), 1);
    EXPECT_EQ(log.snapshot(), kNoInstallPath);
    EXPECT_FALSE(s.valid);
    EXPECT_LE(s.installPath.size(), size_t(Settings::kMaxPathChars));
    EXPECT_LE(s.iniPath.size(), size_t(Settings::kMaxTextChars));
}

TEST(HostileRegistry, RandomBytesMakeAnEmptyOrHarmlessRegistry) {
    for (uint32_t seed = 1; seed <= 4; ++seed) {
        Registry registry;
        registry.parse(randomBytes(64 * 1024, seed));
        std::string once = registry.serialize();
        Registry again;
        again.parse(once);
        EXPECT_EQ(again.serialize(), once) << "seed " << seed;
        EXPECT_FALSE(findInstallationPath(registry, "SOFTWARE\\Ravek").size() >
                     size_t(Settings::kMaxPathChars));
    }
}

}  // namespace
}  // namespace quoril::test
