#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "asio/DriverScan.h"
#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "platform/DiagnosticsLog.h"
#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

constexpr const char* kInstallKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek";

// Runs the real program's --register mode with its registry file and home in a temporary
// directory.
class RegisterCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        m_registryPath = m_dir.file("etc/registry.reg");
        m_home = m_dir.path() + "/home";
        std::filesystem::create_directories(m_home);
    }

    test::ProcessResult run(std::vector<std::string> options, const std::string& workDir = std::string()) {
        std::vector<std::string> argv{test::buildDir() + "/bin/quoril", "--register"};
        argv.insert(argv.end(), options.begin(), options.end());
        return test::runProcess(
            argv, {{"QUORIL_REGISTRY", m_registryPath}, {"HOME", m_home}, {"XDG_CONFIG_HOME", ""}}, workDir);
    }

    Registry written() const {
        Registry registry;
        EXPECT_TRUE(registry.load(m_registryPath));
        return registry;
    }

    test::TempDir m_dir;
    std::string m_registryPath;
    std::string m_home;
};

TEST_F(RegisterCommand, DefaultsTheInstallationToTheUsersConfigDirectory) {
    test::ProcessResult result = run({});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string expected = m_home + "/.config/quoril";
    EXPECT_EQ(written().stringValue(kInstallKey, "Path"), expected);
    EXPECT_TRUE(std::filesystem::is_directory(expected));
    EXPECT_NE(result.out.find(expected), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(m_registryPath), std::string::npos) << result.out;
}

TEST_F(RegisterCommand, CreatesTheNamedDirectoryWithItsParents) {
    const std::string dir = m_dir.path() + "/opt/quoril/a/b";
    test::ProcessResult result = run({"--install-dir", dir});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(written().stringValue(kInstallKey, "Path"), dir);
    EXPECT_TRUE(std::filesystem::is_directory(dir));
}

TEST_F(RegisterCommand, StoresARelativeDirectoryAsAnAbsolutePath) {
    test::ProcessResult result = run({"--install-dir=rel/dir/"}, m_home);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(written().stringValue(kInstallKey, "Path"), m_home + "/rel/dir");
    EXPECT_TRUE(std::filesystem::is_directory(m_home + "/rel/dir"));
}

TEST_F(RegisterCommand, KeepsEveryOtherKeyAndValueOfAnExistingFile) {
    m_dir.write("etc/registry.reg",
                "Windows Registry Editor Version 5.00\n\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Other Card]\n"
                "\"CLSID\"=\"{12345678-1234-1234-1234-123456789ABC}\"\n"
                "\"Description\"=\"Other Card\"\n\n"
                "[HKEY_CLASSES_ROOT\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\InprocServer32]\n"
                "@=\"/usr/lib/other.so\"\n\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n"
                "\"Path\"=\"/old/place\"\n"
                "\"Extra\"=\"keep me\"\n"
                "\"Count\"=dword:0000002a\n");
    const std::string dir = m_dir.path() + "/new";
    test::ProcessResult result = run({"--install-dir", dir});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.err;

    Registry registry = written();
    EXPECT_EQ(registry.stringValue(kInstallKey, "Path"), dir);
    EXPECT_EQ(registry.stringValue(kInstallKey, "Extra"), "keep me");
    ASSERT_TRUE(registry.value(kInstallKey, "Count").has_value());
    EXPECT_EQ(registry.value(kInstallKey, "Count")->dword, 42u);
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\ASIO\\Other Card", "CLSID"),
              "{12345678-1234-1234-1234-123456789ABC}");
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\ASIO\\Other Card", "Description"), "Other Card");
    EXPECT_EQ(registry.stringValue("HKCR\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\InprocServer32", ""),
              "/usr/lib/other.so");
}

// Loads the settings the way start-up does, against this test's registry file.
class StartUpSettings {
  public:
    explicit StartUpSettings(const std::string& registryPath) {
        setSettingsInstance(&record);
        setenv("QUORIL_REGISTRY", registryPath.c_str(), 1);
        setenv("QUORIL_DRIVER_SETTLE_MS", "0", 1);
    }
    ~StartUpSettings() {
        setSettingsInstance(nullptr);
        unsetenv("QUORIL_REGISTRY");
        unsetenv("QUORIL_DRIVER_SETTLE_MS");
    }
    int load(DiagnosticsLog& log) {
        return loadSettings("SOFTWARE\\Ravek", "Quoril.ini", log, scanUsableDrivers);
    }

    Settings record;
};

TEST_F(RegisterCommand, WritesWhatTheSettingsReaderFinds) {
    const std::string dir = m_dir.path() + "/install";
    ASSERT_EQ(run({"--install-dir", dir}).exitCode, 0);

    StartUpSettings startUp(m_registryPath);
    DiagnosticsLog log;
    EXPECT_EQ(startUp.load(log), 0);  // the directory is new: no settings file yet
    EXPECT_EQ(startUp.record.installPath, dir);
    EXPECT_EQ(log.snapshot(), "");
    EXPECT_TRUE(saveSettings(SaveForm::Confirm, 0.0));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/Quoril.ini"));
}

// With the bundled plug-ins built, the registered drivers are the ones the start-up scan lists,
// and a configuration saved with one of them reads back valid.
TEST_F(RegisterCommand, RegisteredDriverMakesASavedConfigurationValid) {
    const std::string dir = m_dir.path() + "/install";
    test::ProcessResult result = run({"--install-dir", dir});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    if (written().subkeys("HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO").empty()) {
        GTEST_SKIP() << "no driver plug-in is built in " << test::buildDir() << ": " << result.out;
    }
    EXPECT_NE(result.out.find("Registered driver"), std::string::npos) << result.out;

    StartUpSettings startUp(m_registryPath);
    DiagnosticsLog first;
    startUp.load(first);
    ASSERT_TRUE(startUp.record.driversFound) << first.snapshot();
    ASSERT_GE(startUp.record.driverCount, 1);
    const AsioDriverEntry driver = startUp.record.drivers[0];
    ASSERT_GE(driver.pairCount, 1);
    startUp.record.asioDriverName = driver.name;
    startUp.record.channelPair = static_cast<int16_t>(std::min<int>(driver.pairCount, 50) - 1);
    startUp.record.volumeDb = -18.0;
    ASSERT_TRUE(saveSettings(SaveForm::Confirm, 0.0));

    DiagnosticsLog second;
    EXPECT_EQ(startUp.load(second), 1);
    EXPECT_EQ(second.snapshot(), "");
    EXPECT_TRUE(startUp.record.valid);
    EXPECT_EQ(startUp.record.asioDriverName, driver.name);
    EXPECT_TRUE(startUp.record.drivers[0].selected);
    EXPECT_EQ(startUp.record.volumeDb, -18.0);
}

struct UsageCase {
    const char* name;
    std::vector<std::string> options;
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

class RegisterUsage : public RegisterCommand, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(RegisterUsage, IsRefusedWithStatusTwoAndNoFileWritten) {
    test::ProcessResult result = run(GetParam().options);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("usage: quoril --register"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(m_registryPath));
}

INSTANTIATE_TEST_SUITE_P(Table, RegisterUsage,
                         ::testing::Values(UsageCase{"UnknownOption", {"--bogus"}},
                                           UsageCase{"DirectoryMissing", {"--install-dir"}},
                                           UsageCase{"EmptyDirectory", {"--install-dir", ""}},
                                           UsageCase{"StrayArgument", {"/some/dir"}}),
                         [](const ::testing::TestParamInfo<UsageCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(RegisterCommand, FailsWithStatusOneWhenTheRegistryFileCannotBeWritten) {
    m_dir.write("blocker", "a file where a directory should be");
    m_registryPath = m_dir.file("blocker/registry.reg");
    test::ProcessResult result = run({"--install-dir", m_dir.path() + "/install"});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("registry"), std::string::npos) << result.err;
    EXPECT_EQ(test::readFile(m_dir.file("blocker")), "a file where a directory should be");
}

TEST_F(RegisterCommand, FailsWithStatusOneWhenTheDirectoryCannotBeCreated) {
    m_dir.write("plain", "x");
    test::ProcessResult result = run({"--install-dir", m_dir.file("plain/sub")});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_FALSE(result.err.empty());
    EXPECT_FALSE(std::filesystem::exists(m_registryPath));
}

TEST_F(RegisterCommand, RefusesADirectoryLongerThanThePlayerCanKeep) {
    std::string dir = m_dir.path() + "/";
    dir += std::string(260 - dir.size(), 'd');
    ASSERT_EQ(dir.size(), 260u);
    test::ProcessResult result = run({"--install-dir", dir});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("259"), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(dir));
    EXPECT_FALSE(std::filesystem::exists(m_registryPath));

    dir.pop_back();
    result = run({"--install-dir", dir});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(written().stringValue(kInstallKey, "Path"), dir);
}

}  // namespace
}  // namespace quoril
