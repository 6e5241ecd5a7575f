// The real program registering an installation: on its first start, and by "quoril --register".

#include "app/FirstRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInstallKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek";

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
    EXPECT_EQ(registry.stringValue(kInstallKey, "Path"), installDir());

    const std::string paragraph =
        "\nFirst start: no registry file was found, so this installation was registered.\n\tRegistry file: " +
        registryPath + "\n\tInstallation directory: " + installDir() + "\n\t\tRegistered driver \"";
    EXPECT_EQ(first.out.rfind(paragraph, 0), 0u) << first.out;
    const std::string from =
        "\tDriver plug-ins registered from " + test::buildDir() + "/lib/quoril/drivers: ";
    EXPECT_NE(first.out.find(from), std::string::npos) << first.out;
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

// "quoril --register" with its registry file and home in a temporary directory. In options and paths,
// "$D" stands for that directory, "$H" for the home in it, "$260" for a directory path that long.
class RegisterCommand : public FirstRun {
  protected:
    std::string expand(std::string text) const {
        const std::string base = m_dir.path() + "/";
        for (auto [from, to] :
             {std::pair<std::string, std::string>{"$260", base + std::string(260 - base.size(), 'd')},
              {"$D", m_dir.path()},
              {"$H", m_dir.file("home")}}) {
            for (size_t at; (at = text.find(from)) != std::string::npos;) {
                text.replace(at, from.size(), to);
            }
        }
        return text;
    }
    test::ProcessResult run(const std::vector<std::string>& options) {
        std::vector<std::string> argv{test::buildDir() + "/bin/quoril", "--register"};
        for (const std::string& option : options) {
            argv.push_back(expand(option));
        }
        return test::runProcess(argv, {{"QUORIL_REGISTRY", m_registryPath}}, home());
    }
    Registry written() const {
        Registry registry;
        EXPECT_TRUE(registry.load(m_registryPath));
        return registry;
    }

    const std::string m_registryPath = m_dir.file("etc/registry.reg");
};

struct RegisterCase {
    const char* name;
    std::vector<std::string> options;
    int exitCode;
    std::string installDir;  // registered and created; for a failure, what must not exist
    std::string errHas;
    bool registryUnwritable = false;  // a file stands where the registry file's directory should be
};

class RegisterOptions : public RegisterCommand, public ::testing::WithParamInterface<RegisterCase> {};

TEST_P(RegisterOptions, RegisterTheDirectoryOrAreRefusedWithTheirStatusAndNoFile) {
    const RegisterCase& c = GetParam();
    if (c.registryUnwritable) {
        m_dir.write("etc", "a file");
    }
    const test::ProcessResult result = run(c.options);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(expand(c.errHas)), std::string::npos) << result.err;
    if (c.exitCode == 0) {
        EXPECT_EQ(written().stringValue(kInstallKey, "Path"), expand(c.installDir));
        EXPECT_TRUE(fs::is_directory(expand(c.installDir)));
        EXPECT_TRUE(result.out.find(expand(c.installDir)) != std::string::npos &&
                    result.out.find(m_registryPath) != std::string::npos)
            << result.out;
    } else {
        EXPECT_FALSE(fs::exists(m_registryPath));
        EXPECT_TRUE(c.installDir.empty() || !fs::exists(expand(c.installDir)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RegisterOptions,
    ::testing::Values(RegisterCase{"DefaultDirectory", {}, 0, "$H/.config/quoril", ""},
                      RegisterCase{"CreatesParents", {"--install-dir", "$D/opt/a/b"}, 0, "$D/opt/a/b", ""},
                      RegisterCase{"RelativeMadeAbsolute", {"--install-dir=rel/dir/"}, 0, "$H/rel/dir", ""},
                      RegisterCase{"UnknownOption", {"--bogus"}, 2, "", "usage: quoril --register"},
                      RegisterCase{"DirectoryUnderAFile", {"--install-dir", "/dev/null/sub"}, 1, "", ""},
                      RegisterCase{"DirectoryTooLong", {"--install-dir", "$260"}, 1, "$260", "259"},
                      RegisterCase{"RegistryUnwritable", {"--install-dir", "$D/i"}, 1, "", "registry", true}),
    [](const ::testing::TestParamInfo<RegisterCase>& info) { return std::string(info.param.name); });

TEST_F(RegisterCommand, KeepsEveryOtherKeyAndValueOfAnExistingFile) {
    const std::string before =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Other Card]\n"
        "\"CLSID\"=\"{12345678-1234-1234-1234-123456789ABC}\"\n\"Description\"=\"Other Card\"\n\n"
        "[HKEY_CLASSES_ROOT\\CLSID\\{12345678-1234-1234-1234-123456789ABC}\\InprocServer32]\n"
        "@=\"/usr/lib/other.so\"\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n\"Path\"=\"/old/place\"\n\"Extra\"=\"keep me\"\n"
        "\"Count\"=dword:0000002a\n";
    m_dir.write("etc/registry.reg", before);
    ASSERT_EQ(run({"--install-dir", "$D/new"}).exitCode, 0);
    Registry expected;
    expected.parse(before);
    expected.setString(kInstallKey, "Path", m_dir.file("new"));
    EXPECT_EQ(written().serialize().rfind(expected.serialize(), 0), 0u) << "then the drivers it registers";
}

}  // namespace
}  // namespace quoril
