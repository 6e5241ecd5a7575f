#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "asio/DriverScan.h"
#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "config/SettingsTestData.h"
#include "platform/DiagnosticsLog.h"
#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

namespace fs = std::filesystem;
using test::describe;
using test::kInvalidBlock;

constexpr const char* kKey = "SOFTWARE\\Ravek";
constexpr const char* kStartText = "Processing .ini file...\r\n\r\n";
const std::string kDefaultFile =
    "ASIO=\nASIOCHANNEL=0\nSRC=1\nRATE= "
    "44100.000\nVOLUME=-30.0\nPHASE=0\nPLAYBACK=R\nDIAGNOSTICS=Yes\nFILTER=1\n";

// The record as loadSettings leaves it before the file is read.
Settings defaultSettings() {
    Settings s;
    DiagnosticsLog log;
    readSettingsFile(s, Registry(), kKey, "Quoril.ini", log);
    return s;
}

std::string defaultFileWith(const std::string& line, const std::string& replacement) {
    std::string text = kDefaultFile;
    return text.replace(text.find(line), line.size(), replacement);
}

// Every test works on its own settings record and its own registry file, installation
// directory and memory figures.
class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setSettingsInstance(&m_settings);
        m_install = m_dir.path() + "/install";
        fs::create_directories(m_install);
        m_iniPath = m_install + "/Quoril.ini";
        setenv("QUORIL_REGISTRY", m_dir.file("registry.reg").c_str(), 1);
        setenv("HOME", m_dir.path().c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        setenv("QUORIL_DRIVER_SETTLE_MS", "0", 1);
        setenv("QUORIL_MEMINFO",
               m_dir.write("meminfo", "MemTotal: 8000000 kB\nMemAvailable: 10000 kB\n").c_str(), 1);
    }
    void TearDown() override {
        setSettingsInstance(nullptr);
        unsetenv("QUORIL_REGISTRY");
        unsetenv("QUORIL_MEMINFO");
        unsetenv("QUORIL_DRIVER_SETTLE_MS");
    }

    void registerInstallation() { m_dir.write("registry.reg", test::registryFileNaming(m_install)); }
    void writeIni(const std::string& text) { m_dir.write("install/Quoril.ini", text); }
    // loadSettings after the caller's start text; returns what it appended.
    std::string load(int expectedResult) {
        DiagnosticsLog log(kStartText);
        EXPECT_EQ(loadSettings(kKey, "Quoril.ini", log, scanUsableDrivers), expectedResult);
        const std::string text = log.snapshot();
        EXPECT_EQ(text.rfind(kStartText, 0), 0u) << text;
        return text.substr(std::strlen(kStartText));
    }
    void startFromDefaults() {
        m_settings = defaultSettings();
        m_settings.iniPath = m_iniPath;
    }
    // The record read from Quoril.ini with three drivers listed; log receives the reader's text.
    Settings readIni(std::string& log) {
        Settings s;
        test::listThreeDrivers(s);
        Registry registry;
        registry.loadDefault();
        DiagnosticsLog text;
        EXPECT_EQ(readSettingsFile(s, registry, kKey, "Quoril.ini", text), 1);
        log = text.snapshot();
        return s;
    }
    std::vector<std::string> installFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_install)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    test::TempDir m_dir;
    Settings m_settings;
    std::string m_install;
    std::string m_iniPath;
};

struct PathCase {
    const char* name;
    std::string registry;
    std::string expected;
};

class InstallationPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(InstallationPath, IsTheFirstReadableValueNamedExactlyPath) {
    Registry registry;
    registry.parse("Windows Registry Editor Version 5.00\n\n" + GetParam().registry);
    EXPECT_EQ(findInstallationPath(registry, kKey), GetParam().expected);
}

const std::string kRavek = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n";

INSTANTIATE_TEST_SUITE_P(
    Table, InstallationPath,
    ::testing::Values(
        PathCase{"AloneInTheKey", kRavek + "\"Path\"=\"/opt/quoril\"\n", "/opt/quoril"},
        PathCase{
            "AmongSeveralValues",
            kRavek + "\"Version\"=\"2.1\"\n\"Installed\"=dword:0000000a\n\"Path\"=\"/opt/q\"\n\"L\"=\"en\"\n",
            "/opt/q"},
        PathCase{"AfterAValueWithShorterData", kRavek + "\"A\"=\"x\"\n\"Path\"=\"/a/much/longer/dir\"\n",
                 "/a/much/longer/dir"},
        PathCase{"AfterAValueTooLongToRead",
                 kRavek + "\"N\"=\"" + std::string(2000, 'n') + "\"\n\"Path\"=\"/b\"\n", "/b"},
        PathCase{"NotWhenTheNameDiffersInCase", kRavek + "\"PATH\"=\"/opt/c\"\n", ""},
        PathCase{"NotWhenTheNameIsLonger", kRavek + "\"Paths\"=\"/opt/c\"\n\"Path \"=\"/opt/d\"\n", ""},
        PathCase{"NotWhenItsDataDoesNotFitTheBuffer",
                 kRavek + "\"Path\"=\"/" + std::string(1023, 'p') + "\"\n", ""},
        PathCase{"CutTo259CharactersWhenTheDataFits",
                 kRavek + "\"Path\"=\"/" + std::string(1022, 'p') + "\"\n", "/" + std::string(258, 'p')},
        PathCase{"FromADwordAsItsBytes", kRavek + "\"Path\"=dword:00636261\n", "abc"},
        PathCase{"NeverFromTheDefaultValue", kRavek + "@=\"/opt/default\"\n", ""},
        PathCase{"InAKeyNamedInAnyCase", "[HKEY_LOCAL_MACHINE\\software\\RAVEK]\n\"Path\"=\"/opt/d\"\n",
                 "/opt/d"},
        PathCase{"NotFromAnotherKey", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Path\"=\"/opt/e\"\n", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileTest, MissingRegistryEntryIsReportedWithoutALineEnd) {
    m_settings.valid = true;
    EXPECT_EQ(load(1), test::kNoInstallPath);
    EXPECT_FALSE(m_settings.valid);
    EXPECT_EQ(m_settings.installPath, "");
}

TEST_F(SettingsFileTest, MissingOrUnreadableFileLeavesTheDefaultsAndTheScannedDriversSilently) {
    registerInstallation();
    for (bool directory : {false, true}) {
        if (directory) {
            fs::create_directories(m_iniPath);
        }
        test::listThreeDrivers(m_settings);
        m_settings.useAwe = m_settings.zebMode = m_settings.valid = m_settings.drivers[1].selected = true;
        m_settings.diagnostics = false;
        m_settings.fileFilterIndex = m_settings.playbackMode = m_settings.channelPair = m_settings.phase = 3;
        m_settings.converterType = 0;
        m_settings.converterText = m_settings.asioDriverName = "Old";
        m_settings.outputRate = m_settings.volumeDb = 96000.0;
        EXPECT_EQ(load(0), "");
        EXPECT_EQ(describe(m_settings), describe(defaultSettings()));
        EXPECT_FALSE(m_settings.valid);
        EXPECT_EQ(m_settings.installPath, m_install);
        EXPECT_EQ(m_settings.iniPath, m_iniPath);
        // No driver is registered here, so the scan lists none.
        EXPECT_FALSE(m_settings.driversFound);
        EXPECT_EQ(m_settings.driverCount, 0);
        EXPECT_EQ(m_settings.drivers[0].name, "");
    }
}

TEST_F(SettingsFileTest, MemoryFiguresComeFromTheSystemLessTheReserve) {
    load(1);
    EXPECT_EQ(m_settings.availableMemory, 10000 * 1024LL - 14360576LL);
    EXPECT_EQ(m_settings.totalMemory, 8000000ULL * 1024);
}

TEST_F(SettingsFileTest, MessagesFollowTheCallersTextInFileOrder) {
    registerInstallation();
    writeIni("ASIO=Gone Card\r\nASIOCHANNEL=1\r\nSRC=3\r\nRATE=\r\nVOLUME=9\r\nPHASE=45\r\nDIAGNOSTICS=\r\n");
    EXPECT_EQ(load(1),
              "ASIO driver is invalid. Redo settings.\r\nASIO channel is invalid. Redo settings.\r\n"
              "SRC converter invalid. Redo settings.\r\nSRC rate invalid. Redo settings.\r\n"
              "Volume out of range, set to -30.0 default.\r\nPhase invalid, set to 0 default.\r\n"
              "Diagnostics is invalid. Redo settings.\r\n" +
                  std::string(kInvalidBlock));
    EXPECT_TRUE(test::hasFields(m_settings, "asio=Gone Card|pair=1"));
    EXPECT_FALSE(m_settings.valid);
}

TEST_F(SettingsFileTest, EveryLoadStartsInvalidAgain) {
    registerInstallation();
    writeIni("SRC=1\nSRC=1\nSRC=1\nSRC=1\nSRC=1\nSRC=1\n");
    EXPECT_EQ(load(1), "");
    ASSERT_TRUE(m_settings.valid);
    writeIni("SRC=1\n");
    EXPECT_EQ(load(1), kInvalidBlock);
    EXPECT_FALSE(m_settings.valid);
}

struct WriteCase {
    const char* name;
    std::function<void(Settings&)> change;
    std::string expected;
};

class WrittenFile : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WrittenFile, HasTheFixedLinesInTheFixedOrder) {
    Settings s = defaultSettings();
    GetParam().change(s);
    EXPECT_EQ(composeSettingsFile(s), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WrittenFile,
    ::testing::Values(
        WriteCase{"Defaults", [](Settings&) {}, kDefaultFile},
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
        WriteCase{"ExitMode", [](Settings& s) { s.playbackMode = 4; },
                  defaultFileWith("PLAYBACK=R\n", "PLAYBACK=X\n")},
        WriteCase{"UnknownModeHasNoLine", [](Settings& s) { s.playbackMode = 5; },
                  defaultFileWith("PLAYBACK=R\n", "")},
        WriteCase{"SwitchesComeLastZebBeforeAwe", [](Settings& s) { s.useAwe = s.zebMode = true; },
                  kDefaultFile + "ZEB\nAWE\n"},
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
    [](const auto& info) { return std::string(info.param.name); });

TEST(WrittenFileSelection, MarksOnlyTheNamedDriverWithTheCurrentPair) {
    Settings s = defaultSettings();
    test::listThreeDrivers(s);
    s.drivers[0].selected = s.drivers[2].selected = true;
    s.drivers[2].pairIndex = 9;
    s.asioDriverName = "Big Card";
    s.channelPair = 2;
    composeSettingsFile(s);
    EXPECT_TRUE(test::hasFields(s, "drivers=0,*2,9,0,0,0,0,0,"));
    s.asioDriverName = "";  // matches no entry, not even the unused ones
    composeSettingsFile(s);
    EXPECT_TRUE(test::hasFields(s, "drivers=0,2,9,0,0,0,0,0,"));
    EXPECT_STREQ(kSaveProblemText, "A problem occurred trying to save settings.");
    EXPECT_STREQ(kSaveProblemCaption, "Ravek Settings");
}

TEST_F(SettingsFileTest, ShutdownWritesOnlyAValidConfigurationAndConfirmWritesAny) {
    struct Case {
        SaveForm form;
        bool valid;
        double expectedVolume;
        std::string expectedFile;
    };
    const Case cases[] = {
        {SaveForm::Shutdown, true, -6.0, defaultFileWith("VOLUME=-30.0\n", "VOLUME= -6.0\n")},
        {SaveForm::Shutdown, false, -6.0, "SRC=9\r\n"},
        {SaveForm::Confirm, false, -30.0, kDefaultFile},
    };
    for (const Case& c : cases) {
        writeIni("SRC=9\r\n");
        startFromDefaults();
        m_settings.valid = c.valid;
        EXPECT_TRUE(saveSettings(c.form, -6.0));
        EXPECT_EQ(m_settings.volumeDb, c.expectedVolume);
        EXPECT_EQ(test::readFile(m_iniPath), c.expectedFile);
        EXPECT_EQ(installFiles(), std::vector<std::string>{"Quoril.ini"});
    }
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
    startFromDefaults();
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
    EXPECT_EQ(installFiles(), std::vector<std::string>{"Quoril.ini"});
}

TEST_F(SettingsFileTest, ReadOnlyDirectoryKeepsThePreviousFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only directories; the file size limit test covers this";
    }
    writeIni("FILTER=2\n");
    startFromDefaults();
    fs::permissions(m_install, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const bool saved = saveSettings(SaveForm::Confirm, 0.0);
    fs::permissions(m_install, fs::perms::owner_all);
    EXPECT_FALSE(saved);
    EXPECT_EQ(test::readFile(m_iniPath), "FILTER=2\n");
}

// Each record is read from a text, saved, and read back from the saved file.
TEST_F(SettingsFileTest, EveryWrittenFieldReadsBackEqual) {
    registerInstallation();
    for (const char* text :
         {"ASIO=Quoril Capture\n",
          "ASIO=Big Card\nASIOCHANNEL=3\nSRC=0\nRATE=176400\nVOLUME=-99.5\nPHASE=180\nPLAYBACK=X\n"
          "DIAGNOSTICS=No\nFILTER=3\nZEB\nAWE\n",
          "ASIO=Huge Card\nASIOCHANNEL=49\nRATE=48000.5\nVOLUME=-0.5\nPLAYBACK=N\nFILTER=2\n"}) {
        writeIni(text);
        std::string log;
        m_settings = readIni(log);
        m_settings.iniPath = m_iniPath;
        ASSERT_TRUE(saveSettings(SaveForm::Confirm, 0.0));
        const Settings back = readIni(log);
        EXPECT_EQ(log, "");
        EXPECT_TRUE(back.valid);
        EXPECT_EQ(describe(back), describe(m_settings));
    }
}

// A locale whose decimal point is a comma, from those installed; empty when there is none.
std::string commaLocale() {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::string found;
    if (FILE* list = popen("locale -a 2>/dev/null", "r")) {
        char line[256];
        while (found.empty() && std::fgets(line, sizeof line, list)) {
            line[std::strcspn(line, "\r\n")] = '\0';
            if (std::setlocale(LC_ALL, line) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
                found = line;
            }
        }
        pclose(list);
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
    startFromDefaults();
    const bool wrote = saveSettings(SaveForm::Confirm, 0.0);
    const std::string text = test::readFile(m_iniPath);
    writeIni("RATE=48000.5\nVOLUME=-3.5\n");
    DiagnosticsLog log;
    const int result = loadSettings(kKey, "Quoril.ini", log, scanUsableDrivers);
    std::setlocale(LC_ALL, saved.c_str());

    EXPECT_TRUE(wrote);
    EXPECT_EQ(text, kDefaultFile);  // "RATE= 44100.000", "VOLUME=-30.0"
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(test::hasFields(m_settings, "rate=48000.5|volume=-3.5"));
}

}  // namespace
}  // namespace quoril
