#include "app/FirstRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/ProcessList.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// A user who has never run the player: a home of their own and no registry file anywhere the
// player looks (the system-wide file aside, which a test cannot remove).
class FirstRun : public ::testing::Test {
  protected:
    void SetUp() override {
        if (fs::exists("/etc/quoril/registry.reg")) {
            GTEST_SKIP() << "this machine has a system-wide registry file, so no start is a first start";
        }
        fs::create_directories(m_dir.file("home"));
    }

    std::string home() const { return m_dir.file("home"); }

    test::TempDir m_dir;
    ScopedEnv m_home{"HOME", m_dir.file("home")};
    ScopedEnv m_xdg{"XDG_CONFIG_HOME", std::nullopt};
    ScopedEnv m_registry{"QUORIL_REGISTRY", std::nullopt};
};

TEST_F(FirstRun, WithoutARegistryFileRegistersTheUsersInstallationAndTheBundledDrivers) {
    std::string report = "before\r\n";
    ASSERT_TRUE(ensureRegistered(report));

    const std::string registryPath = home() + "/.config/quoril/registry.reg";
    Registry registry;
    ASSERT_TRUE(registry.load(registryPath));
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\Ravek", "Path"), home() + "/.config/quoril");
    EXPECT_TRUE(fs::is_directory(home() + "/.config/quoril"));
    // The capture driver is built beside this test, in the plug-in folder the program uses.
    const auto classId = registry.stringValue("HKLM\\SOFTWARE\\ASIO\\Quoril Capture", "clsid");
    ASSERT_TRUE(classId.has_value()) << registry.serialize();
    EXPECT_EQ(registry.stringValue("HKCR\\clsid\\" + *classId + "\\InprocServer32", ""),
              fs::path(driverPluginDirectory()).lexically_normal().string() + "/quoril-capture.so");

    const std::string expectedStart =
        "before\r\n\r\nFirst start: no registry file was found, so this installation "
        "was registered.\r\n\tRegistry file: " +
        registryPath + "\r\n\tInstallation directory: " + home() +
        "/.config/quoril\r\n\t\tRegistered driver \"";
    EXPECT_EQ(report.substr(0, expectedStart.size()), expectedStart) << report;
    EXPECT_NE(report.find("\tDriver plug-ins registered from " + driverPluginDirectory() + ": "),
              std::string::npos)
        << report;
    // Diagnostics text: every line ends in CR LF.
    for (size_t i = report.find('\n'); i != std::string::npos; i = report.find('\n', i + 1)) {
        ASSERT_GT(i, 0u);
        EXPECT_EQ(report[i - 1], '\r') << "bare line feed at " << i << " in " << report;
    }
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
}

TEST_F(FirstRun, TheNextStartFindsTheFileAndLeavesItAlone) {
    std::string report;
    ASSERT_TRUE(ensureRegistered(report));
    const std::string registryPath = home() + "/.config/quoril/registry.reg";
    const std::string written = test::readFile(registryPath);

    std::string again;
    EXPECT_TRUE(ensureRegistered(again));
    EXPECT_EQ(again, "");
    EXPECT_EQ(test::readFile(registryPath), written);
}

TEST_F(FirstRun, AnExistingRegistryFileIsNeverRewrittenEvenWhenItNamesNoInstallation) {
    m_dir.write("home/.config/quoril/registry.reg", "; kept as it is\r\n");
    std::string report;
    EXPECT_TRUE(ensureRegistered(report));
    EXPECT_EQ(report, "");
    EXPECT_EQ(test::readFile(home() + "/.config/quoril/registry.reg"), "; kept as it is\r\n");
}

TEST_F(FirstRun, TheConfigurationFolderOfXdgIsWhereTheRegistryGoes) {
    ScopedEnv xdg("XDG_CONFIG_HOME", m_dir.file("xdg"));
    std::string report;
    ASSERT_TRUE(ensureRegistered(report));
    Registry registry;
    ASSERT_TRUE(registry.load(m_dir.file("xdg/quoril/registry.reg")));
    // The installation directory stays in the home, as "quoril --register" puts it.
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\Ravek", "Path"), home() + "/.config/quoril");
}

TEST_F(FirstRun, ANamedRegistryFileThatDoesNotExistIsCreatedThere) {
    ScopedEnv named("QUORIL_REGISTRY", m_dir.file("named/registry.reg"));
    std::string report;
    ASSERT_TRUE(ensureRegistered(report));
    EXPECT_TRUE(fs::exists(m_dir.file("named/registry.reg")));
    EXPECT_FALSE(fs::exists(home() + "/.config/quoril/registry.reg"));
    EXPECT_NE(report.find("\tRegistry file: " + m_dir.file("named/registry.reg") + "\r\n"),
              std::string::npos);
}

TEST_F(FirstRun, AFailureIsReportedAndLeavesNoFileBehind) {
    m_dir.write("blocker", "a file where a folder should be");
    ScopedEnv named("QUORIL_REGISTRY", m_dir.file("blocker/registry.reg"));
    std::string report;
    EXPECT_FALSE(ensureRegistered(report));
    EXPECT_EQ(
        report.rfind(
            "\r\nFirst start: no registry file was found, and registering this installation FAILED:\r\n\t",
            0),
        0u)
        << report;
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
    EXPECT_EQ(test::readFile(m_dir.file("blocker")), "a file where a folder should be");
}

TEST_F(FirstRun, WithoutAHomeNothingCanBeRegistered) {
    ScopedEnv noHome("HOME", std::nullopt);
    ScopedEnv named("QUORIL_REGISTRY", m_dir.file("reg/registry.reg"));
    std::string report;
    EXPECT_FALSE(ensureRegistered(report));
    EXPECT_NE(report.find("HOME is not set"), std::string::npos) << report;
    EXPECT_FALSE(fs::exists(m_dir.file("reg/registry.reg")));
}

}  // namespace
}  // namespace quoril
