#include <gtest/gtest.h>

#include <filesystem>

#include "asio/AsioDriverList.h"
#include "asio/DriverRegistration.h"
#include "asio/DriverTestSupport.h"

namespace quoril {
namespace {

TEST(DriverRegistration, registersEveryPluginInTheDirectoryAndSkipsOtherFiles) {
    test::DriverRegistry drivers;
    test::TempDir plugins;
    std::filesystem::copy_file(test::captureDriverPath(), plugins.file("quoril-capture.so"));
    plugins.write("broken.so", "not a library");
    plugins.write("readme.txt", "ignored");

    std::string report;
    EXPECT_EQ(registerBundledDrivers(drivers.registry(), plugins.path(), report), 1);
    const std::string server = plugins.file("quoril-capture.so");
    EXPECT_NE(report.find("Registered driver \"Quoril Capture\" " + std::string(test::kCaptureClassId) +
                          ": " + server),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("Skipped " + plugins.file("broken.so") + ": "), std::string::npos) << report;
    EXPECT_EQ(report.find("readme"), std::string::npos);

    Registry& registry = drivers.registry();
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\ASIO\\Quoril Capture", "clsid"), test::kCaptureClassId);
    EXPECT_EQ(registry.stringValue("HKLM\\SOFTWARE\\ASIO\\Quoril Capture", "description"), "Quoril Capture");
    EXPECT_EQ(
        registry.stringValue(std::string("HKCR\\clsid\\") + test::kCaptureClassId + "\\InprocServer32", ""),
        server);

    // What was registered opens.
    AsioDrivers list(registry);
    ASSERT_EQ(list.asioGetNumDev(), 1);
    EXPECT_TRUE(list.loadDriver("Quoril Capture"));
    list.removeCurrentDriver();
}

TEST(DriverRegistration, reportsADirectoryThatCannotBeRead) {
    Registry registry;
    std::string report;
    EXPECT_EQ(registerBundledDrivers(registry, "/nonexistent/quoril/drivers", report), 0);
    EXPECT_NE(report.find("/nonexistent/quoril/drivers"), std::string::npos);
    EXPECT_FALSE(registry.keyExists("HKLM\\SOFTWARE\\ASIO"));
}

}  // namespace
}  // namespace quoril
