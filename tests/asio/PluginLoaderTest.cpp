#include <gtest/gtest.h>

#include <thread>

#include "asio/Asio.h"
#include "asio/DriverTestSupport.h"
#include "platform/PluginLoader.h"
#include "platform/Registry.h"

namespace quoril {
namespace {

struct ClassIdCase {
    const char* text;
    bool valid;
};

class ClassIdParsing : public ::testing::TestWithParam<ClassIdCase> {};

TEST_P(ClassIdParsing, acceptsOnlyTheBracedGroupedHexForm) {
    ClassId id;
    id.data1 = 77;
    EXPECT_EQ(parseClassId(GetParam().text, id), GetParam().valid) << GetParam().text;
    if (!GetParam().valid) {
        EXPECT_TRUE(id.isZero()) << "a failed parse leaves the id zero";
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, ClassIdParsing,
                         ::testing::Values(ClassIdCase{"{6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A913}", true},
                                           ClassIdCase{"{6f1c3a52-8e4b-4d2a-9c71-2b5e8d04a913}", true},
                                           ClassIdCase{"6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A913", false},
                                           ClassIdCase{"{6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A913", false},
                                           ClassIdCase{"{6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A913} ", false},
                                           ClassIdCase{"{6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A91G}", false},
                                           ClassIdCase{"{6F1C3A52+8E4B-4D2A-9C71-2B5E8D04A913}", false},
                                           ClassIdCase{"{6F1C3A5-28E4B-4D2A-9C71-2B5E8D04A913}", false},
                                           ClassIdCase{"", false}));

TEST(ClassId, fieldsAreReadInGuidOrderAndFormattedBackInUpperCase) {
    ClassId id;
    ASSERT_TRUE(parseClassId("{01234567-89ab-cdef-0123-456789abcdef}", id));
    EXPECT_EQ(id.data1, 0x01234567u);
    EXPECT_EQ(id.data2, 0x89abu);
    EXPECT_EQ(id.data3, 0xcdefu);
    EXPECT_EQ(id.data4[0], 0x01);
    EXPECT_EQ(id.data4[7], 0xef);
    EXPECT_EQ(formatClassId(id), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
}

TEST(ComInitialize, countsPerThreadAndNeverBelowZero) {
    const int base = comInitializeCount();
    EXPECT_EQ(comInitialize(), base + 1);
    EXPECT_EQ(comInitialize(), base + 2);
    int other = -1;
    std::thread([&other] { other = comInitializeCount(); }).join();
    EXPECT_EQ(other, 0) << "another thread has its own count";
    EXPECT_EQ(comUninitialize(), base + 1);
    EXPECT_EQ(comUninitialize(), base);
    std::thread([&other] { other = comUninitialize(); }).join();
    EXPECT_EQ(other, 0);
}

struct CreateCase {
    const char* name;
    const char* server;  // "fault", "capture", "missing", "" (no InprocServer32)
    const char* classId;
    bool refuseCreate;
    long expected;
};

class CreateInstance : public ::testing::TestWithParam<CreateCase> {};

TEST_P(CreateInstance, reportsWhyAnObjectWasNotMade) {
    const CreateCase& c = GetParam();
    test::DriverRegistry drivers;
    std::string server = std::string(c.server) == "fault"     ? test::faultDriverPath()
                         : std::string(c.server) == "capture" ? test::captureDriverPath()
                         : std::string(c.server) == "missing" ? drivers.dir().file("nothing-here.so")
                                                              : std::string();
    drivers.addDriver("Driver", c.classId, server);
    if (c.refuseCreate) {
        drivers.setDword("Driver", "RefuseCreate", 1);
    }
    drivers.save();
    ClassId id;
    ASSERT_TRUE(parseClassId(c.classId, id));
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(createInstance(drivers.registry(), id, &object), c.expected);
    if (c.expected == kCreateOk) {
        ASSERT_NE(object, nullptr);
        static_cast<IASIO*>(object)->Release();
    } else {
        EXPECT_EQ(object, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CreateInstance,
    ::testing::Values(
        CreateCase{"faultDriver", "fault", "{3B9E7D21-5A4C-4F18-B6E2-000000000001}", false, kCreateOk},
        CreateCase{"captureDriver", "capture", test::kCaptureClassId, false, kCreateOk},
        CreateCase{"captureWithAnotherClassId", "capture", "{3B9E7D21-5A4C-4F18-B6E2-000000000002}", false,
                   kClassNotAvailable},
        CreateCase{"refusingFactory", "fault", "{3B9E7D21-5A4C-4F18-B6E2-000000000003}", true,
                   kClassNotAvailable},
        CreateCase{"missingFile", "missing", "{3B9E7D21-5A4C-4F18-B6E2-000000000004}", false,
                   kModuleNotFound},
        CreateCase{"noServerKey", "", "{3B9E7D21-5A4C-4F18-B6E2-000000000005}", false, kClassNotRegistered}),
    [](const ::testing::TestParamInfo<CreateCase>& info) { return std::string(info.param.name); });

TEST(DescribePlugin, readsTheNameAndClassIdAPluginExportsAndRejectsOtherFiles) {
    PluginDescription capture;
    std::string error;
    ASSERT_TRUE(describePlugin(test::captureDriverPath(), capture, error)) << error;
    EXPECT_EQ(capture.name, "Quoril Capture");
    EXPECT_EQ(capture.classIdText, test::kCaptureClassId);
    test::TempDir dir;
    EXPECT_FALSE(describePlugin(dir.write("junk.so", "this is not a shared library"), capture, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(describePlugin(dir.file("absent.so"), capture, error));
}

}  // namespace
}  // namespace quoril
