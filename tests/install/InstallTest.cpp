#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DemoDisc.h"
#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

namespace fs = std::filesystem;

// Installs the build tree into a temporary prefix once, as "cmake --install" does for a user, and
// runs the installed program from there.
class InstalledPlayer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir();
        s_install = new test::ProcessResult(
            test::runProcess({QUORIL_CMAKE_COMMAND, "--install", test::buildDir(), "--prefix", prefix()}, {},
                             "", std::chrono::minutes(5)));
    }
    static void TearDownTestSuite() {
        delete s_install;
        delete s_dir;
    }
    void SetUp() override {
        ASSERT_TRUE(s_install->finished);
        ASSERT_EQ(s_install->exitCode, 0) << s_install->out << s_install->err;
        fs::create_directories(m_home.file("home"));
    }

    static std::string prefix() { return s_dir->file("prefix"); }
    static std::string installed(const std::string& relative) { return prefix() + "/" + relative; }

    // The installed quoril with its registry file and home in a temporary directory of the test's own.
    test::ProcessResult runQuoril(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), installed("bin/quoril"));
        return test::runProcess(arguments, {{"QUORIL_REGISTRY", m_home.file("registry.reg")},
                                            {"HOME", m_home.file("home")},
                                            {"XDG_CONFIG_HOME", ""}});
    }

    test::TempDir m_home;

  private:
    static test::TempDir* s_dir;
    static test::ProcessResult* s_install;
};

test::TempDir* InstalledPlayer::s_dir = nullptr;
test::ProcessResult* InstalledPlayer::s_install = nullptr;

bool isExecutable(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR);
}

TEST_F(InstalledPlayer, PutsTheProgramItsDriversAndTheDesktopFilesWhereTheyAreLookedFor) {
    EXPECT_TRUE(isExecutable(installed("bin/quoril")));
    EXPECT_TRUE(fs::is_regular_file(installed("lib/quoril/drivers/quoril-capture.so")));
    EXPECT_EQ(test::readFile(installed("share/applications/quoril.desktop")),
              test::readFile(test::sourceDir() + "/res/quoril.desktop"));
    const std::string icon =
        fs::exists(test::sourceDir() + "/res/quoril.svg") ? "/res/quoril.svg" : "/res/icons/app.svg";
    EXPECT_EQ(test::readFile(installed("share/icons/hicolor/scalable/apps/quoril.svg")),
              test::readFile(test::sourceDir() + icon));
    EXPECT_TRUE(fs::exists(installed("share/man/man1/quoril.1.gz")) ||
                fs::exists(installed("share/man/man1/quoril.1")));
    // Nothing of the tests or the developer tools is installed.
    EXPECT_FALSE(fs::exists(installed("bin/quoril-demo-disc")));
    for (const auto& entry : fs::recursive_directory_iterator(prefix())) {
        const std::string relative = fs::relative(entry.path(), prefix()).string();
        EXPECT_EQ(relative.find("test"), std::string::npos) << relative;
        EXPECT_EQ(relative.find("fault"), std::string::npos) << relative;
    }
}

TEST_F(InstalledPlayer, ReportsItsVersion) {
    const test::ProcessResult result = runQuoril({"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, std::string("quoril ") + QUORIL_VERSION + "\n");
}

TEST_F(InstalledPlayer, FindsAndRegistersTheDriversInstalledBesideIt) {
    const test::ProcessResult result = runQuoril({"--register", "--install-dir", m_home.file("install")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string driverDir = installed("lib/quoril/drivers");
    EXPECT_NE(result.out.find("Driver plug-ins registered from " + driverDir + ": "), std::string::npos)
        << result.out;
    Registry registry;
    ASSERT_TRUE(registry.load(m_home.file("registry.reg")));
    const auto classId = registry.stringValue("HKLM\\SOFTWARE\\ASIO\\Quoril Capture", "clsid");
    ASSERT_TRUE(classId.has_value());
    EXPECT_EQ(registry.stringValue("HKCR\\clsid\\" + *classId + "\\InprocServer32", ""),
              driverDir + "/quoril-capture.so");
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\Ravek", "Path"), m_home.file("install"));
}

TEST_F(InstalledPlayer, ChecksAndLoadsAGeneratedDiscToTheRightBytes) {
    const demo::DemoDisc disc = demo::composeDemoDisc();
    std::string error;
    ASSERT_TRUE(demo::writeDemoDisc(disc, m_home.file("disc"), error)) << error;

    const test::ProcessResult result = runQuoril({"--check", "--load", m_home.file("disc/demo.cue")});
    ASSERT_TRUE(result.finished);
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;

    size_t start = 0;
    for (size_t t = 0; t < disc.tracks.size(); ++t) {
        const std::string line = "track " + std::to_string(t + 1) + " file " + std::to_string(t) + " start " +
                                 std::to_string(start) + " length " +
                                 std::to_string(disc.tracks[t].frames()) + " title " + disc.tracks[t].title +
                                 "\n";
        EXPECT_NE(result.out.find(line), std::string::npos) << line << result.out;
        start += disc.tracks[t].frames();
    }
    EXPECT_NE(result.out.find("disc frames " + std::to_string(start) + " rate 44100 bits 16 files " +
                              std::to_string(disc.tracks.size()) + "\n"),
              std::string::npos)
        << result.out;

    // The SHA-256 of the loaded store against coreutils' of the audio as composed.
    {
        std::ofstream raw(m_home.file("disc.raw"), std::ios::binary);
        for (const demo::DemoTrack& track : disc.tracks) {
            for (int16_t sample : track.samples) {
                const char bytes[2] = {static_cast<char>(sample & 0xFF),
                                       static_cast<char>((sample >> 8) & 0xFF)};
                raw.write(bytes, 2);
            }
        }
    }
    const test::ProcessResult sum = test::runProcess({"/usr/bin/sha256sum", m_home.file("disc.raw")}, {});
    ASSERT_EQ(sum.exitCode, 0) << sum.err;
    ASSERT_GE(sum.out.size(), 64u);
    EXPECT_NE(result.out.find("sha256 " + sum.out.substr(0, 64) + "\n"), std::string::npos) << result.out;
}

TEST_F(InstalledPlayer, RefusesADiscWhoseFileIsMissing) {
    const demo::DemoDisc disc = demo::composeDemoDisc();
    std::string error;
    ASSERT_TRUE(demo::writeDemoDisc(disc, m_home.file("disc"), error)) << error;
    fs::remove(m_home.file("disc/" + disc.tracks[1].fileName));
    const test::ProcessResult result = runQuoril({"--check", m_home.file("disc/demo.cue")});
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 1) << result.out;
    EXPECT_NE(result.out.find(disc.tracks[1].fileName), std::string::npos) << result.out;
}

TEST_F(InstalledPlayer, TheDesktopEntryValidates) {
    if (!fs::exists("/usr/bin/desktop-file-validate")) {
        GTEST_SKIP() << "desktop-file-validate is not installed (package desktop-file-utils)";
    }
    const test::ProcessResult result = test::runProcess(
        {"/usr/bin/desktop-file-validate", installed("share/applications/quoril.desktop")}, {});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out + result.err, "");
}

TEST_F(InstalledPlayer, TheManualPageRendersWithEverySection) {
    if (!fs::exists("/usr/bin/man")) {
        GTEST_SKIP() << "man is not installed";
    }
    std::string page = installed("share/man/man1/quoril.1.gz");
    if (!fs::exists(page)) {
        page = installed("share/man/man1/quoril.1");
    }
    const test::ProcessResult result =
        test::runProcess({"/usr/bin/man", "--warnings", "-l", page},
                         {{"MANPAGER", "cat"}, {"PAGER", "cat"}, {"MANWIDTH", "80"}});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    for (const char* section :
         {"SYNOPSIS", "OPTIONS", "KEYS", "SETTINGS", "FILES", "ENVIRONMENT", "EXIT STATUS", "--check",
          "--console", "--register", "QUORIL_REGISTRY", "Quoril.ini"}) {
        EXPECT_NE(result.out.find(section), std::string::npos) << section;
    }
}

}  // namespace
}  // namespace quoril
