#include <gtest/gtest.h>

#include "asio/AsioDriverList.h"
#include "asio/DriverTestSupport.h"

namespace quoril {
namespace {

using test::DriverRegistry;
using test::TestHost;

// The notices other tests provoke through the fault driver arrive once, after the configured
// number of buffer switches, through the host's callbacks.
struct NoticeCase {
    const char* event;
    long selector;  // 0: a rate change
};

class FaultNotice : public ::testing::TestWithParam<NoticeCase> {};

TEST_P(FaultNotice, arrivesAfterTheConfiguredSwitches) {
    TestHost::reset();
    DriverRegistry drivers;
    drivers.addFaultDriver("Fault", 1);
    drivers.setDword("Fault", "Speed", 100);
    drivers.setDword("Fault", "EventAfter", 3);
    drivers.set("Fault", "Event", GetParam().event);
    drivers.setDword("Fault", "EventRate", 88200);
    drivers.save();

    AsioDrivers list;
    ASSERT_TRUE(list.loadDriver("Fault"));
    IASIO* driver = theAsioDriver.load();
    ASSERT_TRUE(driver->init(nullptr));
    ASIOBufferInfo buffers[2] = {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
    ASIOCallbacks callbacks = TestHost::callbacks();
    ASSERT_EQ(driver->createBuffers(buffers, 2, 64, &callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    if (GetParam().selector == 0) {
        ASSERT_TRUE(TestHost::waitFor([] { return TestHost::rateChanges.load() == 1; }));
        EXPECT_EQ(TestHost::changedRate.load(), 88200.0);
    } else {
        const long selector = GetParam().selector;
        ASSERT_TRUE(TestHost::waitFor([selector] { return TestHost::messages[selector].load() == 1; }));
    }
    EXPECT_GE(TestHost::switches.load(), 3u);
    ASSERT_TRUE(TestHost::waitFor([] { return TestHost::switches.load() >= 6; }));
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(TestHost::rateChanges.load() + TestHost::messages[GetParam().selector].load(), 1)
        << "once only";
    list.removeCurrentDriver();
}

INSTANTIATE_TEST_SUITE_P(Events, FaultNotice,
                         ::testing::Values(NoticeCase{"reset", kAsioResetRequest},
                                           NoticeCase{"resync", kAsioResyncRequest},
                                           NoticeCase{"buffersize", kAsioBufferSizeChange},
                                           NoticeCase{"latencies", kAsioLatenciesChanged},
                                           NoticeCase{"rate", 0}),
                         [](const ::testing::TestParamInfo<NoticeCase>& info) { return info.param.event; });

}  // namespace
}  // namespace quoril
