#include "app/FirstRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

namespace fs = std::filesystem;

// A user who has never run the player: a home of their own and no registry file anywhere the player
// looks (but the system-wide one, which a test cannot remove). Programs a test starts inherit this.
class FirstRun : public ::testing::Test {
  protected:
    void SetUp() override {
        if (fs::exists("/etc/quoril/registry.reg")) {
            GTEST_SKIP() << "this machine has a system-wide registry file, so no start is a first start";
        }
        fs::create_directories(home());
        setenv("HOME", home().c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("QUORIL_REGISTRY");
    }
    std::string home() const { return m_dir.file("home"); }
    std::string installDir() const { return home() + "/.config/quoril"; }

    test::TempDir m_dir;
};

// Where the registry file goes (relative to the test's folder) when a variable names a place.
struct Place {
    const char *variable, *value, *registry;
};
const Place kPlaces[] = {{"XDG_CONFIG_HOME", nullptr, "home/.config/quoril/registry.reg"},
                         {"XDG_CONFIG_HOME", "xdg", "xdg/quoril/registry.reg"},
                         {"QUORIL_REGISTRY", "named/registry.reg", "named/registry.reg"}};

class FirstRunPlace : public FirstRun, public ::testing::WithParamInterface<Place> {};

// The real program registers itself, then opens the settings window, which in the terminal prints
// itself and counts as Cancel; the "q" on standard input then closes the player.
TEST_P(FirstRunPlace, TheProgramRegistersItselfOnceSaysSoAndOpensTheSettingsWindowWithTheDrivers) {
    const Place& place = GetParam();
    if (place.value) {
        setenv(place.variable, m_dir.file(place.value).c_str(), 1);
    }
    const auto start = [] {
        return test::runProcess(
            {"/bin/sh", "-c", "printf q | exec \"$0\" --console", test::buildDir() + "/bin/quoril"}, {});
    };
    const test::ProcessResult first = start();
    EXPECT_EQ(first.exitCode, 0) << first.out << first.err;
    const std::string registryPath = m_dir.file(place.registry);
    Registry registry;
    ASSERT_TRUE(registry.load(registryPath)) << first.out << first.err;
    // The installation directory stays in the home, as "quoril --register" puts it.
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\Ravek", "Path"), installDir());

    const std::string paragraph =
        "\nFirst start: no registry file was found, so this installation was registered.\n\tRegistry file: " +
        registryPath + "\n\tInstallation directory: " + installDir() + "\n\t\tRegistered driver \"";
    EXPECT_EQ(first.out.rfind(paragraph, 0), 0u) << first.out;
    EXPECT_NE(
        first.out.find("\tDriver plug-ins registered from " + test::buildDir() + "/lib/quoril/drivers: "),
        std::string::npos)
        << first.out;
    const size_t settings = first.out.find("== Ravek Settings ==");
    ASSERT_NE(settings, std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Quoril Capture", settings), std::string::npos) << first.out;

    // The next start finds the file and leaves it alone.
    const std::string written = test::readFile(registryPath);
    const test::ProcessResult next = start();
    EXPECT_EQ(next.out.find("First start"), std::string::npos) << next.out;
    EXPECT_EQ(test::readFile(registryPath), written);
}

INSTANTIATE_TEST_SUITE_P(Places, FirstRunPlace, ::testing::ValuesIn(kPlaces));

TEST_F(FirstRun, TheReportIsAParagraphOfDiagnosticsLinesAfterWhatWasThere) {
    std::string report = "before\r\n";
    ASSERT_TRUE(ensureRegistered(report));
    EXPECT_EQ(report.rfind("before\r\n\r\nFirst start: ", 0), 0u) << report;
    // Every line ends in CR LF.
    EXPECT_FALSE(std::regex_search(report, std::regex("[^\r]\n"))) << report;
    EXPECT_EQ(report.back(), '\n');
}

TEST_F(FirstRun, AnExistingRegistryFileIsNeverRewrittenEvenWhenItNamesNoInstallation) {
    const std::string path = m_dir.write("home/.config/quoril/registry.reg", "; kept as it is\r\n");
    std::string report;
    EXPECT_TRUE(ensureRegistered(report));
    EXPECT_EQ(report, "");
    EXPECT_EQ(test::readFile(path), "; kept as it is\r\n");
}

TEST_F(FirstRun, AFailureIsReportedInAParagraphOfItsOwnAndLeavesNoFileBehind) {
    unsetenv("HOME");
    setenv("QUORIL_REGISTRY", m_dir.file("reg/registry.reg").c_str(), 1);
    std::string report;
    EXPECT_FALSE(ensureRegistered(report));
    EXPECT_EQ(report,
              "\r\nFirst start: no registry file was found, and registering this installation FAILED:\r\n\t"
              "HOME is not set; name the installation directory with --install-dir DIR\r\n");
    EXPECT_FALSE(fs::exists(m_dir.file("reg")));
}

}  // namespace
}  // namespace quoril
