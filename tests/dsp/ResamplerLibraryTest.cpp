#include "dsp/ResamplerLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/DiagnosticsLog.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

TEST(ResamplerLibrary, PrefersTheInstallationDirectoryAndNamesTheFirstMissingEntryPointOrTheMissingFile) {
    for (std::string missing :
         {"src_new", "src_delete", "src_process", "src_reset", "src_strerror", "src_process_and_src_reset"}) {
        test::TempDir dir;
        std::filesystem::copy_file(test::buildDir() + "/tests/stand_in_resampler_without_" + missing + ".so",
                                   dir.file(ResamplerLibrary::kFileName));
        DiagnosticsLog log;
        ResamplerLibrary library;
        EXPECT_FALSE(library.load(dir.path(), log));
        EXPECT_FALSE(library.loaded());
        EXPECT_EQ(log.snapshot(), "DLL \"libsamplerate.so.0\": [" + missing.substr(0, missing.find("_and")) +
                                      "] runtime function not found. DLL is invalid.\r\n");
    }
    DiagnosticsLog log;
    EXPECT_FALSE(ResamplerLibrary().loadFile("/nonexistent/libsamplerate.so.0", log));
    EXPECT_EQ(log.snapshot(),
              "DLL \"libsamplerate.so.0\" not found. Make sure this DLL is located in the "
              "installation directory.\r\n");
}

}  // namespace
}  // namespace quoril
