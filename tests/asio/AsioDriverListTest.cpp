#include <gtest/gtest.h>

#include <cstring>

#include "asio/AsioDriverList.h"
#include "asio/DriverTestSupport.h"

namespace quoril {
namespace {

using test::DriverRegistry;

std::string handedOut(AsioDriverList& list, long id) {
    char name[32];
    std::memset(name, '#', sizeof name);
    if (list.asioGetDriverName(id, name, 32) != 0) {
        return "<none>";
    }
    return name;
}

int countLines(const std::string& text, const std::string& line) {
    int count = 0;
    size_t at = 0;
    while ((at = text.find(line + "\n", at)) != std::string::npos) {
        if (at == 0 || text[at - 1] == '\n') {
            ++count;
        }
        at += line.size();
    }
    return count;
}

class DriverList : public ::testing::Test {
  protected:
    void TearDown() override {
        destroyAsioDrivers();
        EXPECT_EQ(theAsioDriver.load(), nullptr);
    }
    DriverRegistry drivers;
};

TEST_F(DriverList, recordIdsRunInListOrderWhenSubkeysAreSkipped) {
    drivers.addFaultDriver("First", 1);
    drivers.registry().setString(DriverRegistry::asioKey("NoClassId"), "description", "nothing");
    drivers.set("UnknownClass", "clsid", test::faultClassId(99));
    drivers.addDriver("NoServer", test::faultClassId(3), "");  // no InprocServer32: no record
    drivers.addFaultDriver("Second", 4);
    drivers.addDriver("MissingFile", test::faultClassId(5), drivers.dir().file("gone.so"));
    drivers.save();

    AsioDriverList list;
    ASSERT_EQ(list.asioGetNumDev(), 3);
    EXPECT_EQ(handedOut(list, 0), "First");
    EXPECT_EQ(handedOut(list, 1), "Second");
    EXPECT_EQ(handedOut(list, 2), "MissingFile") << "the server file need not exist to make a record";
    for (long id = 0; id < 3; ++id) {
        ASSERT_NE(list.record(id), nullptr);
        EXPECT_EQ(list.record(id)->id, id);
    }
    EXPECT_EQ(list.record(3), nullptr);
    ClassId second;
    ASSERT_TRUE(parseClassId(test::faultClassId(4), second));
    EXPECT_EQ(list.record(1)->classId, second);
}

TEST_F(DriverList, anUpperCaseClassIdIsFoundInALowerCaseClassKey) {
    std::string upper = test::faultClassId(0xAB);
    std::string lower = upper;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    ASSERT_NE(upper, lower);
    drivers.addDriver("Mixed Case", upper, test::faultDriverPath(), lower);
    drivers.save();

    AsioDrivers list;
    ASSERT_EQ(list.asioGetNumDev(), 1);
    EXPECT_TRUE(list.loadDriver("Mixed Case"));
    EXPECT_NE(theAsioDriver.load(), nullptr);
}

TEST_F(DriverList, aDescriptionDifferentFromTheKeyNameIsTheDisplayName) {
    drivers.addFaultDriver("Key Name", 1);
    drivers.set("Key Name", "description", "Shown Name");
    drivers.save();

    ASSERT_TRUE(loadAsioDriver("Shown Name"));
    ASSERT_NE(asioDrivers, nullptr);
    EXPECT_EQ(asioDrivers->getCurrentDriverIndex(), 0);
    EXPECT_NE(theAsioDriver.load(), nullptr);
    EXPECT_FALSE(asioDrivers->loadDriver("Key Name"));
}

TEST_F(DriverList, aLongNameIsHandedOutAsTwentyEightCharactersAndDots) {
    const std::string name35 = "A driver name of thirty-five chars";  // 34
    const std::string full = name35 + "!";
    ASSERT_EQ(full.size(), 35u);
    const std::string name31 = "Thirty-one characters long name";
    ASSERT_EQ(name31.size(), 31u);
    const std::string name32 = name31 + "s";
    drivers.addFaultDriver(full, 1);
    drivers.addFaultDriver(name31, 2);
    drivers.addFaultDriver(name32, 3);
    drivers.save();

    AsioDrivers list;
    ASSERT_EQ(list.asioGetNumDev(), 3);
    EXPECT_EQ(handedOut(list, 0), full.substr(0, 28) + "...");
    EXPECT_EQ(handedOut(list, 1), name31);
    EXPECT_EQ(handedOut(list, 2), name32.substr(0, 28) + "...");
    EXPECT_FALSE(list.loadDriver(full));
    EXPECT_EQ(theAsioDriver.load(), nullptr);
    EXPECT_TRUE(list.loadDriver(full.substr(0, 28) + "..."));
    EXPECT_EQ(list.getCurrentDriverIndex(), 0);
    EXPECT_TRUE(list.loadDriver(name31));
    EXPECT_EQ(list.getCurrentDriverIndex(), 1);
}

TEST_F(DriverList, theSameDisplayNameTwiceOpensTheFirst) {
    drivers.addFaultDriver("One", 1);
    drivers.set("One", "description", "Twin");
    const std::string firstJournal = drivers.journal("One");
    drivers.addFaultDriver("Two", 2);
    drivers.set("Two", "description", "Twin");
    const std::string secondJournal = drivers.journal("Two");
    drivers.save();

    AsioDrivers list;
    ASSERT_TRUE(list.loadDriver("Twin"));
    EXPECT_EQ(list.getCurrentDriverIndex(), 0);
    ASSERT_TRUE(list.loadDriver("Twin"));
    EXPECT_EQ(list.getCurrentDriverIndex(), 0);
    EXPECT_EQ(countLines(test::readFile(firstJournal), "create"), 2);
    EXPECT_EQ(test::readFile(secondJournal), "");
}

TEST_F(DriverList, aDriverThatRefusesToOpenLeavesThePreviousOneReopened) {
    drivers.addFaultDriver("Good", 1);
    const std::string goodJournal = drivers.journal("Good");
    drivers.addFaultDriver("Refusing", 2);
    drivers.setDword("Refusing", "RefuseCreate", 1);
    drivers.save();

    AsioDrivers list;
    ASSERT_TRUE(list.loadDriver("Good"));
    IASIO* first = theAsioDriver.load();
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(list.loadDriver("Refusing"));
    EXPECT_EQ(list.getCurrentDriverIndex(), 0);
    EXPECT_NE(theAsioDriver.load(), nullptr);
    char current[32];
    EXPECT_TRUE(list.getCurrentDriverName(current));
    EXPECT_STREQ(current, "Good");
    const std::string journal = test::readFile(goodJournal);
    EXPECT_EQ(countLines(journal, "create"), 2) << journal;
    EXPECT_NE(journal.find("Release"), std::string::npos) << "the first instance was released before";
}

TEST_F(DriverList, openAndCloseReportTheirErrorCodes) {
    drivers.addFaultDriver("Only", 1);
    drivers.save();
    AsioDriverList list;
    void* object = nullptr;
    EXPECT_EQ(list.asioOpenDriver(0, nullptr), DRVERR_INVALID_PARAM);
    EXPECT_EQ(list.asioOpenDriver(5, &object), DRVERR_DEVICE_NOT_FOUND);
    ASSERT_EQ(list.asioOpenDriver(0, &object), 0);
    EXPECT_EQ(list.record(0)->asiodrv, object);
    void* again = nullptr;
    EXPECT_EQ(list.asioOpenDriver(0, &again), DRVERR_DEVICE_ALREADY_OPEN);
    EXPECT_EQ(list.asioCloseDriver(0), 0);
    EXPECT_EQ(list.record(0)->asiodrv, nullptr);
    EXPECT_EQ(list.asioCloseDriver(0), 0);
    EXPECT_EQ(list.asioCloseDriver(42), 0);
    char name[32];
    EXPECT_EQ(list.asioGetDriverName(7, name, 32), DRVERR_DEVICE_NOT_FOUND);
}

TEST_F(DriverList, destroyingTheListReleasesEveryOpenDriverAndEndsDriverUse) {
    drivers.addFaultDriver("A", 1);
    const std::string journalA = drivers.journal("A");
    drivers.addFaultDriver("B", 2);
    const std::string journalB = drivers.journal("B");
    const int before = comInitializeCount();
    {
        AsioDriverList empty;
        EXPECT_EQ(comInitializeCount(), before) << "an empty list does not start driver use";
    }
    drivers.save();
    {
        AsioDriverList list;
        EXPECT_EQ(comInitializeCount(), before + 1);
        void* a = nullptr;
        void* b = nullptr;
        ASSERT_EQ(list.asioOpenDriver(0, &a), 0);
        ASSERT_EQ(list.asioOpenDriver(1, &b), 0);
    }
    EXPECT_EQ(comInitializeCount(), before);
    EXPECT_NE(test::readFile(journalA).find("Release"), std::string::npos);
    EXPECT_NE(test::readFile(journalB).find("Release"), std::string::npos);
}

TEST_F(DriverList, aKeyNameTooLongForItsBufferEndsTheEnumeration) {
    drivers.addFaultDriver("Before", 1);
    drivers.addFaultDriver(std::string(128, 'x'), 2);
    drivers.addFaultDriver("After", 3);
    drivers.save();
    AsioDriverList list;
    EXPECT_EQ(list.asioGetNumDev(), 1);
}

}  // namespace
}  // namespace quoril
