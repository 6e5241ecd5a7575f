#include <gtest/gtest.h>

#include <cstring>

#include "asio/AsioDriverList.h"
#include "asio/AsioHost.h"
#include "asio/DriverScan.h"
#include "asio/DriverTestSupport.h"
#include "config/Settings.h"
#include "platform/PluginLoader.h"

namespace quoril {
namespace {

using test::DriverRegistry;

TEST(CreateInstance, ReportsWhyAnObjectWasNotMade) {
    struct {
        std::string server;  // "" makes no InprocServer32
        int classId;         // of a fault driver
        long expected;
    } const cases[] = {
        {test::faultDriverPath(), 1, kCreateOk},
        {test::captureDriverPath(), 2, kClassNotAvailable},  // it makes only its own class
        {"/nonexistent/driver.so", 3, kModuleNotFound},
        {"", 4, kClassNotRegistered},
    };
    DriverRegistry drivers;
    for (const auto& c : cases) {
        drivers.addDriver("Driver " + std::to_string(c.classId), test::faultClassId(c.classId), c.server);
        drivers.save();
        ClassId id;
        ASSERT_TRUE(parseClassId(test::faultClassId(c.classId), id));
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(createInstance(drivers.registry(), id, &object), c.expected) << c.server;
        EXPECT_EQ(object != nullptr, c.expected == kCreateOk) << c.server;
        if (object != nullptr) {
            static_cast<IASIO*>(object)->Release();
        }
    }
}

std::string handedOut(AsioDriverList& list, long id) {
    char name[32];
    std::memset(name, '#', sizeof name);
    return list.asioGetDriverName(id, name, 32) == 0 ? name : "<none>";
}

class DriverList : public ::testing::Test {
  protected:
    void TearDown() override {
        destroyAsioDrivers();
        EXPECT_EQ(theAsioDriver.load(), nullptr);
    }
    DriverRegistry drivers;
    Settings settings;
};

// Keys without a class id, with a malformed or unknown one, or without a server make no record; a name longer
// than 31 characters is handed out shortened, and a key too long to read ends the list.
TEST_F(DriverList, RecordsFollowTheRegistryAndAreFoundByTheNameTheyAreHandedOutUnder) {
    const std::string full = "A driver name of thirty-five chars!";
    const std::string name31 = "Thirty-one characters long name";
    drivers.addFaultDriver("First", 1);
    drivers.set("NoClassId", "description", "nothing");
    drivers.set("UnknownClass", "clsid", test::faultClassId(99));
    drivers.set("NoBraces", "clsid", "3B9E7D21-5A4C-4F18-B6E2-000000000001");
    drivers.set("NotHex", "clsid", "{3B9E7D21-5A4C-4F18-B6E2-00000000000G}");
    drivers.set("NoDash", "clsid", "{3B9E7D21+5A4C-4F18-B6E2-000000000001}");
    drivers.addDriver("NoServer", test::faultClassId(3), "");
    drivers.addFaultDriver(full, 4);
    drivers.addFaultDriver(name31, 5);
    drivers.addFaultDriver(name31 + "s", 6);
    drivers.addDriver("Key Name", test::faultClassId(0xAB), test::faultDriverPath(),
                      "{3b9e7d21-5a4c-4f18-b6e2-0000000000ab}");
    drivers.set("Key Name", "description", "Shown Name");
    drivers.addDriver("MissingFile", test::faultClassId(7), "/nonexistent/gone.so");
    drivers.addFaultDriver(std::string(128, 'x'), 8);
    drivers.addFaultDriver("After", 9);
    drivers.save();

    AsioDrivers list;
    const std::string names[] = {"First",      full.substr(0, 28) + "...",
                                 name31,       name31.substr(0, 28) + "...",
                                 "Shown Name", "MissingFile"};
    ASSERT_EQ(list.asioGetNumDev(), 6);
    for (long id = 0; id < 6; ++id) {
        EXPECT_EQ(handedOut(list, id), names[id]);
        EXPECT_EQ(list.record(id)->id, id);
    }
    EXPECT_EQ(list.record(6), nullptr);
    EXPECT_EQ(formatClassId(list.record(1)->classId), test::faultClassId(4));
    EXPECT_FALSE(list.loadDriver(full));
    EXPECT_FALSE(list.loadDriver("Key Name"));
    EXPECT_EQ(theAsioDriver.load(), nullptr);
    for (long id : {1, 2, 4}) {
        EXPECT_TRUE(list.loadDriver(names[id])) << names[id];
        EXPECT_EQ(list.getCurrentDriverIndex(), id);
    }
}

TEST_F(DriverList, OpenAndCloseReportTheirErrorCodesAndTheListReleasesWhatIsOpenAndEndsDriverUse) {
    drivers.addFaultDriver("A", 1);
    const std::string journalA = drivers.journal("A");
    drivers.addFaultDriver("B", 2);
    const std::string journalB = drivers.journal("B");
    drivers.addFaultDriver("Refusing", 3);
    drivers.setDword("Refusing", "RefuseCreate", 1);
    const int before = comInitializeCount();
    drivers.save();
    {
        AsioDrivers list;
        EXPECT_EQ(comInitializeCount(), before + 1);
        void *a = nullptr, *b = nullptr;
        EXPECT_EQ(list.asioOpenDriver(0, nullptr), DRVERR_INVALID_PARAM);
        EXPECT_EQ(list.asioOpenDriver(5, &a), DRVERR_DEVICE_NOT_FOUND);
        ASSERT_EQ(list.asioOpenDriver(0, &a), 0);
        EXPECT_EQ(list.asioOpenDriver(0, &b), DRVERR_DEVICE_ALREADY_OPEN);
        EXPECT_EQ(list.asioCloseDriver(0), 0);
        char name[32];
        EXPECT_EQ(list.asioGetDriverName(7, name, 32), DRVERR_DEVICE_NOT_FOUND);
        ASSERT_EQ(list.asioOpenDriver(1, &b), 0);
        // A driver that refuses to open leaves the one before it reopened.
        ASSERT_TRUE(list.loadDriver("A"));
        EXPECT_FALSE(list.loadDriver("Refusing"));
        EXPECT_EQ(list.getCurrentDriverIndex(), 0);
        EXPECT_TRUE(list.getCurrentDriverName(name));
        EXPECT_STREQ(name, "A");
    }
    EXPECT_EQ(comInitializeCount(), before);
    const std::string released = "create\nRelease\n";
    EXPECT_EQ(test::readFile(journalA), released + released + released);
    EXPECT_EQ(test::readFile(journalB), released);
}

// Drivers that cannot be made, initialised or asked for channels are left out; eight at most are
// listed, with fifty pair names at most; what the scan loaded it releases.
TEST_F(DriverList, TheScanListsUsableDriversInRegistryOrderWithTheirPairNamesAndReleasesThem) {
    drivers.addCaptureDriver();
    drivers.set(test::kCaptureName, "Outputs", "4");
    drivers.addFaultDriver("Refuses Create", 1);
    drivers.setDword("Refuses Create", "RefuseCreate", 1);
    drivers.addFaultDriver("Fails Init", 2);
    drivers.set("Fails Init", "InitError", "no device");
    drivers.addFaultDriver("No Channels", 3);
    drivers.set("No Channels", "Refuse", "getChannels");
    const std::string refusedJournal = drivers.journal("No Channels");
    drivers.addFaultDriver("Key Name", 4);
    drivers.set("Key Name", "description", "Another Name");
    drivers.addFaultDriver("Fault Five", 5);
    drivers.setDword("Fault Five", "Outputs", 5);
    for (int i = 0; i < 8; ++i) {
        drivers.addFaultDriver("Driver " + std::to_string(i), 10 + i);
    }
    drivers.setDword("Driver 0", "Outputs", 120);
    drivers.set("Driver 1", "Refuse", "getChannelInfo");
    drivers.save();

    EXPECT_TRUE(scanUsableDrivers(settings));
    EXPECT_TRUE(settings.driversFound);
    ASSERT_EQ(settings.driverCount, Settings::kMaxDrivers);
    const AsioDriverEntry& capture = settings.drivers[0];
    EXPECT_EQ(capture.name, "Quoril Capture");
    EXPECT_EQ(capture.pairCount, 2);
    EXPECT_EQ(capture.pairNames[1], "Capture 3 / Capture 4");
    EXPECT_EQ(settings.drivers[1].name, "Fault Five");
    EXPECT_EQ(settings.drivers[1].pairCount, 2) << "five outputs make two pairs";
    EXPECT_EQ(settings.drivers[2].pairCount, 60);
    EXPECT_EQ(settings.drivers[2].pairNames[49], "Fault Out 99 / Fault Out 100");
    EXPECT_EQ(settings.drivers[3].pairNames[0], " / ") << "a channel the driver cannot describe has no name";
    EXPECT_EQ(settings.drivers[7].name, "Driver 5");
    EXPECT_EQ(test::readFile(refusedJournal), "create\ninit\ngetChannels\nRelease\n");
    EXPECT_EQ(theAsioDriver.load(), nullptr) << "the scan leaves no current driver";

    DriverRegistry none;
    EXPECT_FALSE(scanUsableDrivers(settings));
    EXPECT_FALSE(settings.driversFound);
    EXPECT_EQ(settings.driverCount, 0);
    EXPECT_EQ(settings.drivers[7].name, "");
}

// Without a driver every host call answers "not present" and fills what it returns with nothing.
TEST(AsioHost, WithoutADriverEveryCallAnswersNotPresentAndReturnsNothing) {
    ASSERT_EQ(theAsioDriver.load(), nullptr);
    long a = 7, b = 7, c = 7, d = 7;
    ASIOSampleRate rate = 0;
    ASIOClockSource clock{};
    ASIOSamples samples{7, 7};
    ASIOTimeStamp stamp{7, 7};
    ASIOChannelInfo channel{};
    ASIOBufferInfo buffer{ASIOFalse, 0, {&a, &b}};
    ASIODriverInfo info{};
    const ASIOError answers[] = {ASIOInit(&info),
                                 ASIOStart(),
                                 ASIOStop(),
                                 ASIOGetChannels(&a, &b),
                                 ASIOGetLatencies(&a, &b),
                                 ASIOGetBufferSize(&a, &b, &c, &d),
                                 ASIOCanSampleRate(44100),
                                 ASIOGetSampleRate(&rate),
                                 ASIOSetSampleRate(44100),
                                 ASIOGetClockSources(&clock, &c),
                                 ASIOSetClockSource(0),
                                 ASIOGetSamplePosition(&samples, &stamp),
                                 ASIOGetChannelInfo(&channel),
                                 ASIOCreateBuffers(&buffer, 1, 512, nullptr),
                                 ASIODisposeBuffers(),
                                 ASIOControlPanel(),
                                 ASIOFuture(0, nullptr),
                                 ASIOOutputReady()};
    for (ASIOError answer : answers) {
        EXPECT_EQ(answer, ASE_NotPresent) << &answer - answers;
    }
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_STREQ(channel.name, "None");
    EXPECT_EQ(a + b + c + d + samples.lo + stamp.lo, 0);
    EXPECT_EQ(buffer.buffers[0], nullptr);
}

}  // namespace
}  // namespace quoril
