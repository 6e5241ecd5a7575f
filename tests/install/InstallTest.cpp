#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "DemoDisc.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

namespace fs = std::filesystem;

// The build tree installed once into a temporary prefix, as "cmake --install" does it for a user.
class InstalledPlayer : public ::testing::Test {
  protected:
    void SetUp() override {
        static const test::ProcessResult install =
            test::runProcess({QUORIL_CMAKE_COMMAND, "--install", test::buildDir(), "--prefix", installed("")},
                             {}, "", std::chrono::minutes(5));
        ASSERT_TRUE(install.finished && install.exitCode == 0) << install.out << install.err;
    }
    static std::string installed(const std::string& relative) {
        static const test::TempDir prefix;
        return prefix.file(relative);
    }
    test::ProcessResult run(const std::vector<std::string>& arguments) {
        return test::runProcess(arguments, {{"QUORIL_REGISTRY", m_home.file("registry.reg")},
                                            {"HOME", m_home.path()},
                                            {"XDG_CONFIG_HOME", ""}});
    }

    test::TempDir m_home;
};

TEST_F(InstalledPlayer, PutsTheProgramItsDriversAndTheDesktopFilesWhereTheyAreLookedFor) {
    EXPECT_EQ(test::readFile(installed("share/icons/hicolor/scalable/apps/quoril.svg")),
              test::readFile(test::sourceDir() + "/res/icons/app.svg"));
    // Nothing of the tests or the developer tools is installed.
    for (const auto& entry : fs::recursive_directory_iterator(installed(""))) {
        const std::string relative = fs::relative(entry.path(), installed("")).string();
        for (const char* word : {"test", "fault", "demo"}) {
            EXPECT_EQ(relative.find(word), std::string::npos) << relative;
        }
    }
    EXPECT_EQ(run({installed("bin/quoril"), "--version"}).out,
              std::string("quoril ") + QUORIL_VERSION + "\n");
    // The program finds the plug-ins installed beside it.
    const test::ProcessResult registered = run({installed("bin/quoril"), "--register"});
    EXPECT_NE(registered.out.find(": " + installed("lib/quoril/drivers/quoril-capture.so") + "\n"),
              std::string::npos)
        << registered.out;
}

TEST_F(InstalledPlayer, ChecksAndLoadsAGeneratedDiscToTheRightBytes) {
    const demo::DemoDisc disc = demo::composeDemoDisc();
    std::string error;
    ASSERT_TRUE(demo::writeDemoDisc(disc, m_home.file("disc"), error)) << error;
    const test::ProcessResult result =
        run({installed("bin/quoril"), "--check", "--load", m_home.file("disc/demo.cue")});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;

    EXPECT_NE(result.out.find("\tGenre = " + disc.genre + "\n\tArtist = " + disc.performer +
                              "\n\tAlbum = " + disc.title + "\n"),
              std::string::npos)
        << result.out;
    // Every track where its file puts it; the loaded store's digest against coreutils' of the audio.
    static_assert(std::endian::native == std::endian::little, "the raw file holds what the store holds");
    std::ofstream raw(m_home.file("disc.raw"), std::ios::binary);
    size_t start = 0;
    for (size_t t = 0; t < disc.tracks.size(); ++t) {
        const demo::DemoTrack& track = disc.tracks[t];
        const std::string line = "track " + std::to_string(t + 1) + " file " + std::to_string(t) + " start " +
                                 std::to_string(start) + " length " + std::to_string(track.frames()) +
                                 " title " + track.title + "\n";
        EXPECT_NE(result.out.find(line), std::string::npos) << line << result.out;
        start += track.frames();
        raw.write(reinterpret_cast<const char*>(track.samples.data()), 2 * track.samples.size());
    }
    raw.close();
    const test::ProcessResult sum = run({"/usr/bin/sha256sum", m_home.file("disc.raw")});
    EXPECT_NE(result.out.find("sha256 " + sum.out.substr(0, 64) + "\n"), std::string::npos)
        << result.out << sum.err;
}

TEST_F(InstalledPlayer, TheDesktopEntryValidatesAndTheManualPageRendersWithEverySection) {
    const test::ProcessResult desktop =
        run({"/usr/bin/desktop-file-validate", installed("share/applications/quoril.desktop")});
    EXPECT_EQ(desktop.exitCode, 0);
    EXPECT_EQ(desktop.out + desktop.err, "");
    const std::string page = installed("share/man/man1/quoril.1");
    const test::ProcessResult man =
        run({"/usr/bin/man", "--warnings", "-P", "cat", "-l", fs::exists(page) ? page : page + ".gz"});
    EXPECT_EQ(man.exitCode, 0) << man.err;
    EXPECT_EQ(man.err, "");
    for (const char* text : {"SYNOPSIS", "OPTIONS", "KEYS", "SETTINGS", "FILES", "ENVIRONMENT", "EXIT STATUS",
                             "--check", "--console", "--register", "QUORIL_REGISTRY", "Quoril.ini"}) {
        EXPECT_NE(man.out.find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace quoril
