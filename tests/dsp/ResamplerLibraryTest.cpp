#include "dsp/ResamplerLibrary.h"

#include <gtest/gtest.h>
#include <samplerate.h>

#include <cstddef>
#include <filesystem>
#include <string>

#include "app/DiagnosticsLog.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

// Our record must be the library's own, field for field.
static_assert(sizeof(SrcData) == sizeof(SRC_DATA));
static_assert(offsetof(SrcData, data_in) == offsetof(SRC_DATA, data_in));
static_assert(offsetof(SrcData, data_out) == offsetof(SRC_DATA, data_out));
static_assert(offsetof(SrcData, input_frames) == offsetof(SRC_DATA, input_frames));
static_assert(offsetof(SrcData, output_frames) == offsetof(SRC_DATA, output_frames));
static_assert(offsetof(SrcData, input_frames_used) == offsetof(SRC_DATA, input_frames_used));
static_assert(offsetof(SrcData, output_frames_gen) == offsetof(SRC_DATA, output_frames_gen));
static_assert(offsetof(SrcData, end_of_input) == offsetof(SRC_DATA, end_of_input));
static_assert(offsetof(SrcData, src_ratio) == offsetof(SRC_DATA, src_ratio));

std::string standInLibrary(const std::string& variant) {
    return test::buildDir() + "/tests/stand_in_resampler_" + variant + ".so";
}

// Puts a stand-in library into dir under the name the engine looks for.
void install(const std::string& variant, const test::TempDir& dir) {
    std::filesystem::copy_file(standInLibrary(variant), dir.file(ResamplerLibrary::kFileName));
}

TEST(ResamplerLibrary, BindsTheSystemLibraryWhenTheInstallationDirectoryHasNone) {
    test::TempDir dir;
    DiagnosticsLog log;
    ResamplerLibrary library;
    ASSERT_TRUE(library.load(dir.path(), log)) << log.snapshot();
    EXPECT_TRUE(library.loaded());
    EXPECT_EQ(log.snapshot(), "");
    EXPECT_STREQ(library.src_strerror(0), src_strerror(0));
    int error = -1;
    SrcState* state = library.src_new(SRC_SINC_MEDIUM_QUALITY, 2, &error);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(library.src_reset(state), 0);
    EXPECT_EQ(library.src_delete(state), nullptr);
}

TEST(ResamplerLibrary, PrefersTheCopyInTheInstallationDirectory) {
    test::TempDir dir;
    install("complete", dir);
    DiagnosticsLog log;
    ResamplerLibrary library;
    ASSERT_TRUE(library.load(dir.path(), log)) << log.snapshot();
    EXPECT_STREQ(library.src_strerror(1), "stand-in resampler");
}

TEST(ResamplerLibrary, AMissingFileIsReportedWithTheLibraryName) {
    test::TempDir dir;
    DiagnosticsLog log;
    ResamplerLibrary library;
    EXPECT_FALSE(library.loadFile(dir.file("libsamplerate.so.0"), log));
    EXPECT_FALSE(library.loaded());
    EXPECT_EQ(log.snapshot(),
              "DLL \"libsamplerate.so.0\" not found. Make sure this DLL is located in the installation "
              "directory.\r\n");
}

struct MissingCase {
    const char* variant;
    const char* message;
};

class IncompleteLibrary : public testing::TestWithParam<MissingCase> {};

TEST_P(IncompleteLibrary, IsRefusedNamingTheFirstMissingEntryPoint) {
    test::TempDir dir;
    install(GetParam().variant, dir);
    DiagnosticsLog log;
    ResamplerLibrary library;
    EXPECT_FALSE(library.load(dir.path(), log));
    EXPECT_FALSE(library.loaded());
    EXPECT_EQ(log.snapshot(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    EntryPoints, IncompleteLibrary,
    testing::Values(
        MissingCase{"without_src_new",
                    "DLL \"libsamplerate.so.0\": [src_new] runtime function not found. DLL is invalid.\r\n"},
        MissingCase{
            "without_src_delete",
            "DLL \"libsamplerate.so.0\": [src_delete] runtime function not found. DLL is invalid.\r\n"},
        MissingCase{
            "without_src_process",
            "DLL \"libsamplerate.so.0\": [src_process] runtime function not found. DLL is invalid.\r\n"},
        MissingCase{
            "without_src_reset",
            "DLL \"libsamplerate.so.0\": [src_reset] runtime function not found. DLL is invalid.\r\n"},
        MissingCase{
            "without_src_strerror",
            "DLL \"libsamplerate.so.0\": [src_strerror] runtime function not found. DLL is invalid.\r\n"},
        MissingCase{
            "without_src_process_and_src_reset",
            "DLL \"libsamplerate.so.0\": [src_process] runtime function not found. DLL is invalid.\r\n"}),
    [](const testing::TestParamInfo<MissingCase>& info) { return std::string(info.param.variant); });

}  // namespace
}  // namespace quoril
