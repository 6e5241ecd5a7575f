#include "dsp/ResamplerLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "app/DiagnosticsLog.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

// A stand-in library (FakeResampler.c) installed under the name the engine looks for.
class ResamplerLibraryTest : public testing::Test {
  protected:
    bool loadStandIn(const std::string& variant) {
        std::filesystem::copy_file(test::buildDir() + "/tests/stand_in_resampler_" + variant + ".so",
                                   dir.file(ResamplerLibrary::kFileName));
        return library.load(dir.path(), log);
    }

    test::TempDir dir;
    DiagnosticsLog log;
    ResamplerLibrary library;
};

TEST_F(ResamplerLibraryTest, PrefersTheCopyInTheInstallationDirectory) {
    ASSERT_TRUE(loadStandIn("complete")) << log.snapshot();
    EXPECT_STREQ(library.src_strerror(1), "stand-in resampler");
    EXPECT_EQ(log.snapshot(), "");
}

TEST_F(ResamplerLibraryTest, AMissingFileIsReportedWithTheLibraryName) {
    EXPECT_FALSE(library.loadFile(dir.file("libsamplerate.so.0"), log));
    EXPECT_FALSE(library.loaded());
    EXPECT_EQ(log.snapshot(),
              "DLL \"libsamplerate.so.0\" not found. Make sure this DLL is located in the installation "
              "directory.\r\n");
}

// The stand-in left without some entry points, and the first of them in binding order.
class IncompleteLibrary : public ResamplerLibraryTest,
                          public testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(IncompleteLibrary, IsRefusedNamingTheFirstMissingEntryPoint) {
    EXPECT_FALSE(loadStandIn(GetParam().first));
    EXPECT_FALSE(library.loaded());
    EXPECT_EQ(log.snapshot(), std::string("DLL \"libsamplerate.so.0\": [") + GetParam().second +
                                  "] runtime function not found. DLL is invalid.\r\n");
}

INSTANTIATE_TEST_SUITE_P(EntryPoints, IncompleteLibrary,
                         testing::Values(std::pair{"without_src_new", "src_new"},
                                         std::pair{"without_src_delete", "src_delete"},
                                         std::pair{"without_src_process", "src_process"},
                                         std::pair{"without_src_reset", "src_reset"},
                                         std::pair{"without_src_strerror", "src_strerror"},
                                         std::pair{"without_src_process_and_src_reset", "src_process"}));

}  // namespace
}  // namespace quoril
