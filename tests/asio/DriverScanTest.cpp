#include <gtest/gtest.h>

#include "asio/AsioDriverList.h"
#include "asio/DriverScan.h"
#include "asio/DriverTestSupport.h"
#include "config/Settings.h"

namespace quoril {
namespace {

using test::DriverRegistry;

class DriverScan : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(theAsioDriver.load(), nullptr) << "the scan leaves no current driver";
    }
    DriverRegistry drivers;
    Settings settings;
};

TEST_F(DriverScan, listsUsableDriversInRegistryOrderWithTheirPairNames) {
    drivers.addCaptureDriver();
    drivers.set(test::kCaptureName, "Outputs", "4");
    drivers.addFaultDriver("Fault Five", 1);
    drivers.setDword("Fault Five", "Outputs", 5);
    drivers.save();

    EXPECT_TRUE(scanUsableDrivers(settings));
    EXPECT_TRUE(settings.driversFound);
    ASSERT_EQ(settings.driverCount, 2);

    const AsioDriverEntry& capture = settings.drivers[0];
    EXPECT_EQ(capture.name, "Quoril Capture");
    EXPECT_FALSE(capture.selected);
    EXPECT_EQ(capture.pairCount, 2);
    EXPECT_EQ(capture.pairIndex, 0);
    EXPECT_EQ(capture.pairNames[0], "Capture 1 / Capture 2");
    EXPECT_EQ(capture.pairNames[1], "Capture 3 / Capture 4");
    EXPECT_EQ(capture.pairNames[2], "");

    const AsioDriverEntry& fault = settings.drivers[1];
    EXPECT_EQ(fault.name, "Fault Five");
    EXPECT_EQ(fault.pairCount, 2) << "five outputs make two pairs";
    EXPECT_EQ(fault.pairNames[1], "Fault Out 3 / Fault Out 4");
}

TEST_F(DriverScan, skipsDriversThatDoNotOpenInitialiseOrCountTheirChannels) {
    drivers.addFaultDriver("Refuses Create", 1);
    drivers.setDword("Refuses Create", "RefuseCreate", 1);
    drivers.addFaultDriver("Fails Init", 2);
    drivers.set("Fails Init", "InitError", "no device");
    drivers.addFaultDriver("No Channels", 3);
    drivers.set("No Channels", "Refuse", "getChannels");
    const std::string refusedJournal = drivers.journal("No Channels");
    drivers.addFaultDriver("Key Name", 4);
    drivers.set("Key Name", "description", "Another Name");
    drivers.addFaultDriver("Usable", 5);
    const std::string usableJournal = drivers.journal("Usable");
    drivers.save();

    EXPECT_TRUE(scanUsableDrivers(settings));
    ASSERT_EQ(settings.driverCount, 1);
    EXPECT_EQ(settings.drivers[0].name, "Usable");
    for (const std::string& journal : {refusedJournal, usableJournal}) {
        EXPECT_NE(test::readFile(journal).find("\nRelease"), std::string::npos)
            << "the scan releases what it loaded";
    }
}

TEST_F(DriverScan, findsNothingWithoutDrivers) {
    settings.driverCount = 3;
    settings.drivers[0].name = "stale";
    EXPECT_FALSE(scanUsableDrivers(settings));
    EXPECT_FALSE(settings.driversFound);
    EXPECT_EQ(settings.driverCount, 0);
    EXPECT_EQ(settings.drivers[0].name, "");
}

TEST_F(DriverScan, aChannelTheDriverCannotDescribeGetsAnEmptyName) {
    drivers.addFaultDriver("No Info", 1);
    drivers.set("No Info", "Refuse", "getChannelInfo");
    drivers.save();
    EXPECT_TRUE(scanUsableDrivers(settings));
    ASSERT_EQ(settings.driverCount, 1);
    EXPECT_EQ(settings.drivers[0].pairNames[0], " / ");
}

TEST_F(DriverScan, namesAtMostFiftyPairs) {
    drivers.addFaultDriver("Wide", 1);
    drivers.setDword("Wide", "Outputs", 120);
    drivers.save();
    EXPECT_TRUE(scanUsableDrivers(settings));
    ASSERT_EQ(settings.driverCount, 1);
    EXPECT_EQ(settings.drivers[0].pairCount, 60);
    EXPECT_EQ(settings.drivers[0].pairNames[49], "Fault Out 99 / Fault Out 100");
}

TEST_F(DriverScan, listsEightDriversAtMost) {
    for (int i = 0; i < 10; ++i) {
        drivers.addFaultDriver("Driver " + std::to_string(i), i);
    }
    drivers.save();
    EXPECT_TRUE(scanUsableDrivers(settings));
    ASSERT_EQ(settings.driverCount, Settings::kMaxDrivers);
    EXPECT_EQ(settings.drivers[7].name, "Driver 7");
}

}  // namespace
}  // namespace quoril
