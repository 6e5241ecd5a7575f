#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/DiagnosticsLog.h"
#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "config/SettingsTestData.h"
#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

using test::kInvalidBlock;
using test::kNoInstallPath;

constexpr const char* kKey = "SOFTWARE\\Ravek";
constexpr const char* kStartText = "Processing .ini file...\r\n\r\n";

std::vector<std::string> directoryEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The record as loadSettings leaves it before the file is read.
Settings defaultSettings() {
    Settings s;
    DiagnosticsLog log;
    readSettingsFile(s, Registry(), kKey, "Quoril.ini", log);
    return s;
}

// Every test works on its own settings record and its own registry file, installation
// directory and memory figures.
class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setSettingsInstance(&m_settings);
        m_install = m_dir.path() + "/install";
        std::filesystem::create_directories(m_install);
        m_iniPath = m_install + "/Quoril.ini";
        setenv("QUORIL_REGISTRY", m_dir.file("registry.reg").c_str(), 1);
        setenv("HOME", m_dir.path().c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        setenv("QUORIL_DRIVER_SETTLE_MS", "0", 1);
        setenv("QUORIL_MEMINFO",
               m_dir.write("meminfo", "MemTotal:  8000000 kB\nMemAvailable: 4000000 kB\n").c_str(), 1);
    }
    void TearDown() override {
        setSettingsInstance(nullptr);
        unsetenv("QUORIL_REGISTRY");
        unsetenv("QUORIL_MEMINFO");
        unsetenv("QUORIL_DRIVER_SETTLE_MS");
    }

    void registerInstallation() { m_dir.write("registry.reg", test::registryFileNaming(m_install)); }
    void writeIni(const std::string& text) { m_dir.write("install/Quoril.ini", text); }

    test::TempDir m_dir;
    Settings m_settings;
    std::string m_install;
    std::string m_iniPath;
};

// --- Where the installation is -------------------------------------------------------------

struct PathCase {
    const char* name;
    std::string values;  // the lines of the key's section
    std::string expected;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

class InstallationPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(InstallationPath, IsTheFirstReadableValueNamedExactlyPath) {
    Registry registry;
    registry.parse("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n" +
                   GetParam().values);
    EXPECT_EQ(findInstallationPath(registry, kKey), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InstallationPath,
    ::testing::Values(
        PathCase{"AloneInTheKey", "\"Path\"=\"/opt/quoril\"\n", "/opt/quoril"},
        PathCase{
            "AmongSeveralValues",
            "\"Version\"=\"2.1\"\n\"Installed\"=dword:0000000a\n\"Path\"=\"/opt/q\"\n\"Language\"=\"en\"\n",
            "/opt/q"},
        PathCase{"AfterAValueWithShorterData", "\"A\"=\"x\"\n\"Path\"=\"/a/much/longer/installation/dir\"\n",
                 "/a/much/longer/installation/dir"},
        PathCase{"AfterAValueTooLongToRead",
                 "\"Notes\"=\"" + std::string(2000, 'n') + "\"\n\"Path\"=\"/opt/b\"\n", "/opt/b"},
        PathCase{"FirstInTheKey", "\"Path\"=\"/first\"\n\"Other\"=\"/second\"\n", "/first"},
        PathCase{"NotWhenTheNameDiffersInCase", "\"PATH\"=\"/opt/c\"\n", ""},
        PathCase{"NotWhenTheNameIsLonger", "\"Paths\"=\"/opt/c\"\n\"Path \"=\"/opt/d\"\n", ""},
        PathCase{"NotWhenItsDataDoesNotFitTheBuffer", "\"Path\"=\"/" + std::string(1023, 'p') + "\"\n", ""},
        PathCase{"CutTo259CharactersWhenTheDataFits", "\"Path\"=\"/" + std::string(1022, 'p') + "\"\n",
                 "/" + std::string(258, 'p')},
        PathCase{"EmptyWhenTheValueIsEmpty", "\"Path\"=\"\"\n", ""},
        PathCase{"FromADwordAsItsBytes", "\"Path\"=dword:00636261\n", "abc"},
        PathCase{"FromTheDefaultValueNever", "@=\"/opt/default\"\n", ""}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST(InstallationPathKey, IsFoundWhateverTheCaseOfTheKeyName) {
    Registry registry;
    registry.parse("[HKEY_LOCAL_MACHINE\\software\\RAVEK]\n\"Path\"=\"/opt/d\"\n");
    EXPECT_EQ(findInstallationPath(registry, kKey), "/opt/d");
}

TEST(InstallationPathKey, IsEmptyWhenTheKeyIsMissing) {
    Registry registry;
    registry.parse("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Path\"=\"/opt/e\"\n");
    EXPECT_EQ(findInstallationPath(registry, kKey), "");
    EXPECT_EQ(findInstallationPath(Registry(), kKey), "");
}

// --- loadSettings --------------------------------------------------------------------------

TEST_F(SettingsFileTest, MissingRegistryEntryIsReportedWithoutALineEnd) {
    m_settings.valid = true;
    DiagnosticsLog log(kStartText);
    EXPECT_EQ(loadSettings(kKey, "Quoril.ini", log), 1);
    EXPECT_EQ(log.snapshot(), std::string(kStartText) + kNoInstallPath);
    EXPECT_FALSE(m_settings.valid);
    EXPECT_EQ(m_settings.installPath, "");
}

TEST_F(SettingsFileTest, MissingFileReturnsZeroWithoutAMessageAndLeavesTheDefaults) {
    registerInstallation();
    m_settings.useAwe = true;
    m_settings.zebMode = true;
    m_settings.valid = true;
    m_settings.fileFilterIndex = 3;
    m_settings.playbackMode = 4;
    m_settings.converterText = "0";
    m_settings.converterType = 0;
    m_settings.outputRate = 96000.0;
    m_settings.asioDriverName = "Old";
    m_settings.channelPair = 7;
    m_settings.volumeDb = -1.0;
    m_settings.phase = 180;
    m_settings.diagnostics = false;
    DiagnosticsLog log(kStartText);

    EXPECT_EQ(loadSettings(kKey, "Quoril.ini", log), 0);

    EXPECT_EQ(log.snapshot(), kStartText);
    EXPECT_EQ(m_settings.installPath, m_install);
    EXPECT_EQ(m_settings.iniPath, m_iniPath);
    EXPECT_FALSE(m_settings.useAwe);
    EXPECT_FALSE(m_settings.zebMode);
    EXPECT_FALSE(m_settings.valid);
    EXPECT_EQ(m_settings.fileFilterIndex, 1);
    EXPECT_EQ(m_settings.playbackMode, 1);
    EXPECT_EQ(m_settings.converterText, "1");
    EXPECT_EQ(m_settings.converterType, 1);
    EXPECT_EQ(m_settings.outputRate, 44100.0);
    EXPECT_EQ(m_settings.asioDriverName, "");
    EXPECT_EQ(m_settings.channelPair, 0);
    EXPECT_EQ(m_settings.volumeDb, -30.0);
    EXPECT_EQ(m_settings.phase, 0);
    EXPECT_TRUE(m_settings.diagnostics);
}

TEST_F(SettingsFileTest, DirectoryInPlaceOfTheFileCannotBeOpened) {
    registerInstallation();
    std::filesystem::create_directories(m_iniPath);
    DiagnosticsLog log;
    EXPECT_EQ(loadSettings(kKey, "Quoril.ini", log), 0);
    EXPECT_EQ(log.snapshot(), "");
}

TEST_F(SettingsFileTest, MemoryFiguresComeFromTheSystemLessTheReserve) {
    setenv("QUORIL_MEMINFO", m_dir.write("small", "MemTotal: 8000000 kB\nMemAvailable: 10000 kB\n").c_str(),
           1);
    DiagnosticsLog log;
    loadSettings(kKey, "Quoril.ini", log);
    EXPECT_EQ(m_settings.availableMemory, 10000 * 1024LL - 14360576LL);
    EXPECT_LT(m_settings.availableMemory, 0);
    EXPECT_EQ(m_settings.totalMemory, 8000000ULL * 1024);
}

TEST_F(SettingsFileTest, DriverScanRefillsTheListAndItsResultIsKept) {
    // No driver is registered in this test's registry, so the scan lists none.
    test::listThreeDrivers(m_settings);
    DiagnosticsLog log;
    loadSettings(kKey, "Quoril.ini", log);
    EXPECT_FALSE(m_settings.driversFound);
    EXPECT_EQ(m_settings.driverCount, 0);
    EXPECT_EQ(m_settings.drivers[0].name, "");
}

TEST_F(SettingsFileTest, RepeatedCountedKeyMakesTheFileValidThroughTheStartUpPath) {
    registerInstallation();
    writeIni("VOLUME=-12.0\nVOLUME=-12.0\nVOLUME=-12.0\nVOLUME=-12.0\nVOLUME=-12.0\nVOLUME=-12.0\n");
    DiagnosticsLog log(kStartText);
    EXPECT_EQ(loadSettings(kKey, "Quoril.ini", log), 1);
    EXPECT_TRUE(m_settings.valid);
    EXPECT_EQ(m_settings.volumeDb, -12.0);
    EXPECT_EQ(log.snapshot(), kStartText);
}

TEST_F(SettingsFileTest, MessagesFollowTheCallersTextInFileOrder) {
    registerInstallation();
    writeIni("ASIO=Gone Card\r\nASIOCHANNEL=1\r\nSRC=3\r\nRATE=\r\nVOLUME=9\r\nPHASE=45\r\nDIAGNOSTICS=\r\n");
    DiagnosticsLog log(kStartText);
    EXPECT_EQ(loadSettings(kKey, "Quoril.ini", log), 1);
    EXPECT_EQ(log.snapshot(), std::string(kStartText) +
                                  "ASIO driver is invalid. Redo settings.\r\n"
                                  "ASIO channel is invalid. Redo settings.\r\n"
                                  "SRC converter invalid. Redo settings.\r\n"
                                  "SRC rate invalid. Redo settings.\r\n"
                                  "Volume out of range, set to -30.0 default.\r\n"
                                  "Phase invalid, set to 0 default.\r\n"
                                  "Diagnostics is invalid. Redo settings.\r\n" +
                                  kInvalidBlock);
    EXPECT_FALSE(m_settings.valid);
    EXPECT_EQ(m_settings.asioDriverName, "Gone Card");
    EXPECT_EQ(m_settings.channelPair, 1);
}

TEST_F(SettingsFileTest, EveryLoadStartsInvalidAgain) {
    registerInstallation();
    writeIni("SRC=1\nSRC=1\nSRC=1\nSRC=1\nSRC=1\nSRC=1\n");
    DiagnosticsLog first;
    loadSettings(kKey, "Quoril.ini", first);
    ASSERT_TRUE(m_settings.valid);
    writeIni("SRC=1\n");
    DiagnosticsLog second;
    loadSettings(kKey, "Quoril.ini", second);
    EXPECT_FALSE(m_settings.valid);
    EXPECT_EQ(second.snapshot(), kInvalidBlock);
}

// --- The written file ----------------------------------------------------------------------

struct WriteCase {
    const char* name;
    std::function<void(Settings&)> change;
    std::string expected;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class WrittenFile : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WrittenFile, HasTheFixedLinesInTheFixedOrder) {
    Settings s = defaultSettings();
    if (GetParam().change) {
        GetParam().change(s);
    }
    EXPECT_EQ(composeSettingsFile(s), GetParam().expected);
}

const char* const kDefaultFile =
    "ASIO=\nASIOCHANNEL=0\nSRC=1\nRATE= "
    "44100.000\nVOLUME=-30.0\nPHASE=0\nPLAYBACK=R\nDIAGNOSTICS=Yes\nFILTER=1\n";

std::string defaultFileWith(const std::string& line, const std::string& replacement) {
    std::string text = kDefaultFile;
    size_t at = text.find(line);
    text.replace(at, line.size(), replacement);
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, WrittenFile,
    ::testing::Values(
        WriteCase{"Defaults", nullptr, kDefaultFile},
        WriteCase{"RateOf176400FillsTheTenPlaces", [](Settings& s) { s.outputRate = 176400.0; },
                  defaultFileWith("RATE= 44100.000\n", "RATE=176400.000\n")},
        WriteCase{"RateKeepsThreeDecimals", [](Settings& s) { s.outputRate = 48000.0625; },
                  defaultFileWith("RATE= 44100.000\n", "RATE= 48000.062\n")},
        WriteCase{"SmallVolumeGetsALeadingBlank", [](Settings& s) { s.volumeDb = -3.5; },
                  defaultFileWith("VOLUME=-30.0\n", "VOLUME= -3.5\n")},
        WriteCase{"ZeroVolumeGetsTwoLeadingBlanks", [](Settings& s) { s.volumeDb = 0.0; },
                  defaultFileWith("VOLUME=-30.0\n", "VOLUME=  0.0\n")},
        WriteCase{"VolumeOfMinusHundredTakesSixPlaces", [](Settings& s) { s.volumeDb = -100.0; },
                  defaultFileWith("VOLUME=-30.0\n", "VOLUME=-100.0\n")},
        WriteCase{"AnyPhaseButZeroIsWrittenAs180", [](Settings& s) { s.phase = 90; },
                  defaultFileWith("PHASE=0\n", "PHASE=180\n")},
        WriteCase{"StopMode", [](Settings& s) { s.playbackMode = 2; },
                  defaultFileWith("PLAYBACK=R\n", "PLAYBACK=S\n")},
        WriteCase{"RandomMode", [](Settings& s) { s.playbackMode = 3; },
                  defaultFileWith("PLAYBACK=R\n", "PLAYBACK=N\n")},
        WriteCase{"ExitMode", [](Settings& s) { s.playbackMode = 4; },
                  defaultFileWith("PLAYBACK=R\n", "PLAYBACK=X\n")},
        WriteCase{"UnknownModeHasNoLine", [](Settings& s) { s.playbackMode = 5; },
                  defaultFileWith("PLAYBACK=R\n", "")},
        WriteCase{"DiagnosticsOff", [](Settings& s) { s.diagnostics = false; },
                  defaultFileWith("DIAGNOSTICS=Yes\n", "DIAGNOSTICS=No\n")},
        WriteCase{"SwitchesComeLastZebBeforeAwe",
                  [](Settings& s) {
                      s.useAwe = true;
                      s.zebMode = true;
                  },
                  std::string(kDefaultFile) + "ZEB\nAWE\n"},
        WriteCase{
            "EveryField",
            [](Settings& s) {
                s.asioDriverName = "Big Card";
                s.channelPair = 3;
                s.converterType = 0;
                s.outputRate = 96000.0;
                s.volumeDb = -42.25;
                s.phase = 180;
                s.playbackMode = 3;
                s.diagnostics = false;
                s.fileFilterIndex = 2;
                s.useAwe = true;
            },
            "ASIO=Big Card\nASIOCHANNEL=3\nSRC=0\nRATE= 96000.000\nVOLUME=-42.2\nPHASE=180\nPLAYBACK=N\n"
            "DIAGNOSTICS=No\nFILTER=2\nAWE\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST(WrittenFileSelection, MarksOnlyTheNamedDriverWithTheCurrentPair) {
    Settings s = defaultSettings();
    test::listThreeDrivers(s);
    s.drivers[0].selected = true;
    s.drivers[2].selected = true;
    s.drivers[2].pairIndex = 9;
    s.asioDriverName = "Big Card";
    s.channelPair = 2;
    composeSettingsFile(s);
    EXPECT_FALSE(s.drivers[0].selected);
    EXPECT_TRUE(s.drivers[1].selected);
    EXPECT_FALSE(s.drivers[2].selected);
    EXPECT_EQ(s.drivers[1].pairIndex, 2);
    EXPECT_EQ(s.drivers[2].pairIndex, 9);
}

TEST(WrittenFileSelection, BlankNameSelectsNoUnusedEntry) {
    Settings s = defaultSettings();
    test::listThreeDrivers(s);
    s.asioDriverName = "";
    composeSettingsFile(s);
    for (const AsioDriverEntry& entry : s.drivers) {
        EXPECT_FALSE(entry.selected) << entry.name;
    }
}

TEST(SaveProblemBox, HasItsTextAndCaption) {
    EXPECT_STREQ(kSaveProblemText, "A problem occurred trying to save settings.");
    EXPECT_STREQ(kSaveProblemCaption, "Ravek Settings");
}

// --- saveSettings --------------------------------------------------------------------------

TEST_F(SettingsFileTest, ShutdownKeepsTheCurrentVolumeAndWritesAValidConfiguration) {
    m_settings = defaultSettings();
    m_settings.iniPath = m_iniPath;
    m_settings.valid = true;
    EXPECT_TRUE(saveSettings(SaveForm::Shutdown, -12.5));
    EXPECT_EQ(m_settings.volumeDb, -12.5);
    EXPECT_EQ(test::readFile(m_iniPath), defaultFileWith("VOLUME=-30.0\n", "VOLUME=-12.5\n"));
    EXPECT_EQ(directoryEntries(m_install), std::vector<std::string>{"Quoril.ini"});
}

TEST_F(SettingsFileTest, ShutdownLeavesTheFileOfAnInvalidConfigurationAlone) {
    writeIni("SRC=9\r\n");
    m_settings = defaultSettings();
    m_settings.iniPath = m_iniPath;
    m_settings.valid = false;
    saveSettings(SaveForm::Shutdown, -6.0);
    EXPECT_EQ(m_settings.volumeDb, -6.0);
    EXPECT_EQ(test::readFile(m_iniPath), "SRC=9\r\n");
}

TEST_F(SettingsFileTest, ConfirmWritesEvenAnInvalidConfiguration) {
    writeIni("SRC=9\r\n");
    m_settings = defaultSettings();
    m_settings.iniPath = m_iniPath;
    m_settings.valid = false;
    EXPECT_TRUE(saveSettings(SaveForm::Confirm, -6.0));
    EXPECT_EQ(m_settings.volumeDb, -30.0);
    EXPECT_EQ(test::readFile(m_iniPath), kDefaultFile);
}

TEST_F(SettingsFileTest, ConfirmReportsAFileThatCannotBeCreated) {
    m_settings = defaultSettings();
    m_settings.iniPath = m_dir.file("no/such/dir/Quoril.ini");
    EXPECT_FALSE(saveSettings(SaveForm::Confirm, 0.0));
    m_settings.iniPath = "";
    EXPECT_FALSE(saveSettings(SaveForm::Confirm, 0.0));
}

// A write that fails half-way (the file size limit stops it with EFBIG) must leave the previous
// file exactly as it was, and no temporary file behind.
TEST_F(SettingsFileTest, FailedWriteKeepsThePreviousFileByteForByte) {
    const std::string previous = "ASIO=Old Card\r\nASIOCHANNEL=0\r\nVOLUME=-1.0\r\n; hand edited\r\n";
    writeIni(previous);
    m_settings = defaultSettings();
    m_settings.iniPath = m_iniPath;
    m_settings.asioDriverName = std::string(400, 'n');  // the new text is far beyond the limit

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 32;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(3);
        }
        _exit(saveSettings(SaveForm::Confirm, 0.0) ? 1 : 0);
    }
    int status = 0;
    ASSERT_TRUE(test::waitForChild(child, std::chrono::seconds(30), status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save claimed success; 3: no file size limit";
    EXPECT_EQ(test::readFile(m_iniPath), previous);
    EXPECT_EQ(directoryEntries(m_install), std::vector<std::string>{"Quoril.ini"});
}

TEST_F(SettingsFileTest, UnwritableDirectoryKeepsThePreviousFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only directories; the file size limit test covers this";
    }
    writeIni("FILTER=2\n");
    m_settings = defaultSettings();
    m_settings.iniPath = m_iniPath;
    std::filesystem::permissions(
        m_install, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                       std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                       std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const bool saved = saveSettings(SaveForm::Confirm, 0.0);
    std::filesystem::permissions(m_install, std::filesystem::perms::owner_all);
    EXPECT_FALSE(saved);
    EXPECT_EQ(test::readFile(m_iniPath), "FILTER=2\n");
}

// --- Round trip ----------------------------------------------------------------------------

struct RoundTripCase {
    const char* name;
    std::function<void(Settings&)> change;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

class RoundTrip : public SettingsFileTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(RoundTrip, EveryWrittenFieldReadsBackEqual) {
    registerInstallation();
    m_settings = defaultSettings();
    test::listThreeDrivers(m_settings);
    m_settings.iniPath = m_iniPath;
    GetParam().change(m_settings);
    ASSERT_TRUE(saveSettings(SaveForm::Confirm, 0.0));
    const Settings written = m_settings;

    Settings back;
    test::listThreeDrivers(back);
    Registry registry;
    registry.loadDefault();
    DiagnosticsLog log;
    EXPECT_EQ(readSettingsFile(back, registry, kKey, "Quoril.ini", log), 1);
    EXPECT_EQ(log.snapshot(), "");
    EXPECT_TRUE(back.valid);
    EXPECT_EQ(back.asioDriverName, written.asioDriverName);
    EXPECT_EQ(back.channelPair, written.channelPair);
    EXPECT_EQ(back.converterType, written.converterType);
    EXPECT_EQ(back.converterText, std::to_string(written.converterType));
    EXPECT_EQ(back.outputRate, written.outputRate);
    EXPECT_EQ(back.volumeDb, written.volumeDb);
    EXPECT_EQ(back.phase, written.phase);
    EXPECT_EQ(back.playbackMode, written.playbackMode);
    EXPECT_EQ(back.diagnostics, written.diagnostics);
    EXPECT_EQ(back.fileFilterIndex, written.fileFilterIndex);
    EXPECT_EQ(back.zebMode, written.zebMode);
    EXPECT_EQ(back.useAwe, written.useAwe);
    for (int i = 0; i < Settings::kMaxDrivers; ++i) {
        EXPECT_EQ(back.drivers[i].selected, written.drivers[i].selected) << i;
        EXPECT_EQ(back.drivers[i].pairIndex, written.drivers[i].pairIndex) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoundTrip,
    ::testing::Values(RoundTripCase{"FirstDriverDefaults",
                                    [](Settings& s) { s.asioDriverName = "Quoril Capture"; }},
                      RoundTripCase{"EveryFieldChanged",
                                    [](Settings& s) {
                                        s.asioDriverName = "Big Card";
                                        s.channelPair = 3;
                                        s.converterType = 0;
                                        s.outputRate = 176400.0;
                                        s.volumeDb = -99.5;
                                        s.phase = 180;
                                        s.playbackMode = 4;
                                        s.diagnostics = false;
                                        s.fileFilterIndex = 3;
                                        s.zebMode = true;
                                        s.useAwe = true;
                                    }},
                      RoundTripCase{"LastPairOfTheWidestDriverAndStopMode",
                                    [](Settings& s) {
                                        s.asioDriverName = "Huge Card";
                                        s.channelPair = 49;
                                        s.outputRate = 48000.5;
                                        s.volumeDb = 0.0;
                                        s.playbackMode = 2;
                                        s.fileFilterIndex = 2;
                                    }},
                      RoundTripCase{"RandomMode",
                                    [](Settings& s) {
                                        s.asioDriverName = "Big Card";
                                        s.playbackMode = 3;
                                        s.volumeDb = -0.5;
                                    }}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

// --- The user's locale ---------------------------------------------------------------------

// A locale whose decimal point is a comma, from those installed; empty when there is none.
std::string commaLocale() {
    std::vector<std::string> names;
    if (FILE* list = popen("locale -a 2>/dev/null", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, list)) {
            std::string name(line);
            while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) {
                name.pop_back();
            }
            names.push_back(name);
        }
        pclose(list);
    }
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::string found;
    for (const std::string& name : names) {
        if (std::setlocale(LC_ALL, name.c_str()) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
            found = name;
            break;
        }
    }
    std::setlocale(LC_ALL, saved.c_str());
    return found;
}

TEST_F(SettingsFileTest, NumbersAreWrittenAndReadWithADecimalPointInAnyLocale) {
    const std::string locale = commaLocale();
    if (locale.empty()) {
        GTEST_SKIP() << "no installed locale uses a decimal comma (see locale -a)";
    }
    registerInstallation();
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, locale.c_str()), nullptr);

    m_settings = defaultSettings();
    m_settings.iniPath = m_iniPath;
    const bool wrote = saveSettings(SaveForm::Confirm, 0.0);
    const std::string text = test::readFile(m_iniPath);

    writeIni("RATE=48000.5\nVOLUME=-3.5\n");
    DiagnosticsLog log;
    const int result = loadSettings(kKey, "Quoril.ini", log);
    const double rate = m_settings.outputRate;
    const double volume = m_settings.volumeDb;
    std::setlocale(LC_ALL, saved.c_str());

    EXPECT_TRUE(wrote);
    EXPECT_NE(text.find("\nRATE= 44100.000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nVOLUME=-30.0\n"), std::string::npos) << text;
    EXPECT_EQ(result, 1);
    EXPECT_EQ(rate, 48000.5);
    EXPECT_EQ(volume, -3.5);
}

}  // namespace
}  // namespace quoril
