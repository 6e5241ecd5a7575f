#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

namespace fs = std::filesystem;

// The real program's first start in a home that has never seen it: no registry file anywhere,
// no settings. It registers itself and goes on as start-up does, so the settings window opens and
// lists the drivers. In the terminal the settings window prints itself and counts as Cancel; the
// "q" on standard input then closes the player.
// Disabled until the player's start-up calls ensureRegistered(); then drop the prefix.
TEST(FirstStart, RegistersItselfAndOpensTheSettingsWindowWithTheDrivers) {
    if (fs::exists("/etc/quoril/registry.reg")) {
        GTEST_SKIP() << "this machine has a system-wide registry file, so no start is a first start";
    }
    test::TempDir dir;
    const std::string home = dir.file("home");
    fs::create_directories(home);
    const test::ProcessResult result = test::runProcess(
        {"/bin/sh", "-c", "printf q | exec \"$0\" --console", test::buildDir() + "/bin/quoril"},
        {{"HOME", home}, {"XDG_CONFIG_HOME", ""}, {"QUORIL_REGISTRY", ""}});
    ASSERT_TRUE(result.finished) << result.out << result.err;
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;

    Registry registry;
    ASSERT_TRUE(registry.load(home + "/.config/quoril/registry.reg")) << result.out << result.err;
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\Ravek", "Path"), home + "/.config/quoril");
    EXPECT_TRUE(registry.keyExists("HKLM\\SOFTWARE\\ASIO\\Quoril Capture"));

    const size_t settings = result.out.find("== Ravek Settings ==");
    ASSERT_NE(settings, std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Quoril Capture", settings), std::string::npos) << result.out;
    // Nothing was confirmed, so no settings file was written.
    EXPECT_FALSE(fs::exists(home + "/.config/quoril/Quoril.ini"));
}

}  // namespace
}  // namespace quoril
