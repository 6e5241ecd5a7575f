#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "asio/DriverScan.h"
#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "platform/CFormat.h"
#include "platform/DiagnosticsLog.h"
#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

namespace fs = std::filesystem;

// The block the reader appends when fewer than six counted lines were accepted.
constexpr const char* kInvalidBlock =
    "\r\nConfiguration is invalid. Default setting for above error item will be assumed. Defaults by "
    "item:\r\n\tLeft/Right channel (0/1)\r\n\tSRC Converter (1)\r\n\tVolume (-30.0db)\r\n\tDiagnostics "
    "(Yes)\r\n";

// A registry file whose HKLM\SOFTWARE\Ravek "Path" names installDir, among other values.
std::string registryFileNaming(const std::string& installDir) {
    return "Windows Registry Editor Version "
           "5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\n\"Version\"=\"1.0\"\n\"Path\"=\"" +
           installDir + "\"\n";
}

// What a driver scan would list on a machine with three cards: one pair, four pairs, and more
// pairs than the settings window can offer.
void listThreeDrivers(Settings& settings) {
    settings.drivers.fill(AsioDriverEntry());
    const std::pair<const char*, int16_t> cards[] = {
        {"Quoril Capture", 1}, {"Big Card", 4}, {"Huge Card", 60}};
    for (int i = 0; i < 3; ++i) {
        settings.drivers[i].name = cards[i].first;
        settings.drivers[i].pairCount = cards[i].second;
    }
    settings.driverCount = 3;
    settings.driversFound = true;
}

// The fields the settings file holds, as "|name=value|...|", so that a test can compare a whole
// record or look for the fields it cares about ("volume=-20").
std::string describe(const Settings& s) {
    std::string pairs;
    for (const AsioDriverEntry& entry : s.drivers) {
        pairs += cformat("%s%d", entry.selected ? "*" : "", entry.pairIndex) + ",";
    }
    return cformat("|asio=%s|pair=%d|src=%d|srcText=%s|rate=%.17g|volume=%.17g|phase=%d|playback=%d|",
                   s.asioDriverName.c_str(), s.channelPair, s.converterType, s.converterText.c_str(),
                   s.outputRate, s.volumeDb, s.phase, s.playbackMode) +
           cformat("diagnostics=%d|filter=%d|zeb=%d|awe=%d|drivers=%s|window=%dx%d|", s.diagnostics,
                   s.fileFilterIndex, s.zebMode, s.useAwe, pairs.c_str(), s.windowWidth, s.windowHeight);
}

::testing::AssertionResult hasFields(const Settings& s, const std::string& fields) {
    const std::string all = describe(s);
    for (size_t from = 0, end; from < fields.size(); from = end + 1) {
        end = std::min(fields.find('|', from), fields.size());
        if (all.find("|" + fields.substr(from, end - from) + "|") == std::string::npos) {
            return ::testing::AssertionFailure() << fields.substr(from, end - from) << " not in " << all;
        }
    }
    return ::testing::AssertionSuccess();
}

constexpr const char* kKey = "SOFTWARE\\Ravek";

// Six good lines, one of each counted key, and the four after the driver and the channel.
const std::string kGood =
    "ASIO=Quoril Capture\nASIOCHANNEL=0\nSRC=1\nRATE=44100\nVOLUME=-20.0\nDIAGNOSTICS=Yes\n";
const std::string kRest = "SRC=1\nRATE=44100\nVOLUME=-20.0\nDIAGNOSTICS=Yes\n";

struct LineCase {
    const char* name;
    std::string ini;
    std::string log;     // the reader's whole log, byte for byte
    bool valid;          // six counted lines accepted
    std::string fields;  // what the record must hold afterwards (see hasFields)
};

std::vector<LineCase> lineCases() {
    const std::string channel = "ASIO channel is invalid. Redo settings.\r\n";
    const std::string driver = "ASIO driver is invalid. Redo settings.\r\n";
    const std::string blankDriver = "ASIO driver cannot be blank. Redo settings.\r\n";
    const std::string converter = "SRC converter invalid. Redo settings.\r\n";
    const std::string volumeRange = "Volume out of range, set to -30.0 default.\r\n";
    const std::string phase = "Phase invalid, set to 0 default.\r\n";
    const std::string window = "Window size invalid, default size assumed.\r\n";
    return {
        {"SixCountedKeysAloneAreValid", kGood, "", true,
         "asio=Quoril Capture|pair=0|src=1|srcText=1|rate=44100|volume=-20|phase=0|playback=1|diagnostics=1|"
         "filter=1|zeb=0|awe=0|drivers=*0,0,0,0,0,0,0,0,"},
        {"FiveCountedKeysAreInvalidButKeepTheirValues",
         "ASIO=Big Card\nASIOCHANNEL=3\nSRC=0\nRATE=96000\nVOLUME=-7.5\n", kInvalidBlock, false,
         "pair=3|src=0|rate=96000|volume=-7.5"},
        {"RejectedCountedLinesAndUncountedKeysDoNotCount",
         "ASIO=Nope\nASIOCHANNEL=0\nSRC=5\nRATE=0\nVOLUME=1\nDIAGNOSTICS=\nSRC=1\nSRC=1\nSRC=1\nSRC=1\nSRC="
         "1\n"
         "PHASE=0\nPLAYBACK=R\nFILTER=1\nZEB\nAWE\nASIO=\n",
         driver + channel + converter + "SRC rate cannot be zero. Redo settings.\r\n" + volumeRange +
             "Diagnostics is invalid. Redo settings.\r\n" + blankDriver + kInvalidBlock,
         false, ""},
        {"ChannelBeforeDriverIsRejectedButSetsThePair", "ASIOCHANNEL=3\nASIO=Quoril Capture\n" + kRest,
         channel + kInvalidBlock, false, "pair=3"},
        {"NegativeChannelIsReadAsItsAbsoluteValue", "ASIO=Big Card\nASIOCHANNEL=-1\n" + kRest, "", true,
         "pair=1|drivers=0,*1,0,0,0,0,0,0,"},
        {"SecondPairOfATwoChannelDriverIsOutOfRange", "ASIO=Quoril Capture\nASIOCHANNEL=1\n" + kRest,
         "ASIO output channel invalid (max pairs supported is 50). Redo settings.\r\n" + channel +
             kInvalidBlock,
         false, "pair=0"},
        {"BlankDriverKeepsTheEarlierNameAndConverterTwoIsResetToOne", kGood + "ASIO=\nSRC=0\nSRC=2\n",
         blankDriver + converter, true, "asio=Quoril Capture|src=1|srcText=0"},
        {"DriverNameMatchesExactlyAndALongOneIsKeptWhenRejectedCutOnACharacter",
         kGood + "ASIO=quoril capture\nASIO=Quoril Capture \nASIO=" + std::string(518, 'x') +
             "\u00e9\u00e9\n",
         driver + driver + driver, true, "asio=" + std::string(518, 'x') + "\u00e9"},
        {"ValueEndsAtAZeroByteOrBeforeACarriageReturnAndTheChannelIsATokenWrappingAt16Bits",
         std::string("ASIO=Big Card\0junk\n", 19) + "ASIOCHANNEL= \t65538 and more\n" + kRest + "SRC=1\r\r\n",
         "", true, "asio=Big Card|pair=2|srcText=1"},
        {"EmptyChannelConverterAndVolumeAreRejectedAndLeaveTheirValues",
         kGood + "ASIOCHANNEL=  \nSRC=0\nSRC=\nVOLUME=\n",
         "ASIO channel invalid. Redo settings.\r\n" + converter + "Volume invalid, set to -30.0 default.\r\n",
         true, "src=0|volume=-20"},
        {"NegativeRateIsItsAbsoluteValueEmptyRateIsRejectedAndEmptyPhaseOnlyWarns",
         kGood + "RATE=-48000\nRATE=\nVOLUME=abc\nPHASE=180\nPHASE=\n",
         "SRC rate invalid. Redo settings.\r\n" + phase, true, "rate=48000|phase=180|volume=0"},
        {"VolumeOutsideZeroToMinusHundredOtherPhaseAndUnknownFilterAreReset",
         kGood + "VOLUME=-100\nVOLUME=0.5\nPHASE=180\nPHASE=90\nFILTER=3\nFILTER=7\n", volumeRange + phase,
         true, "volume=-30|phase=0|filter=1"},
        {"PlaybackRandomMeansRepeatByItsFirstLetterAndDiagnosticsNoIsOff",
         kGood + "PLAYBACK=S\nPLAYBACK=random\nDIAGNOSTICS=no\nSRC= 1 best\n", "", true,
         "playback=1|diagnostics=0|srcText= 1 best"},
        {"SwitchesAreUpperCaseWordsThatMayGoOnFilterThreeIsKeptAndExitIsX",
         kGood + "ZEBRA\nAWESOME\nFILTER= 3\nPLAYBACK= x\n", "", true, "zeb=1|awe=1|filter=3|playback=4"},
        {"CrLfLinesReadLikeLfLinesAndTheLastNeedsNoLineEnd",
         "ASIO=Quoril Capture\r\nASIOCHANNEL=0\r\nSRC=1\r\nRATE=44100\r\nVOLUME=-20.0\r\nDIAGNOSTICS=Yes\r\n"
         "ZEB\r\nSRC=0",
         "", true, "asio=Quoril Capture|srcText=0|zeb=1"},
        {"LongLineContinuesAsTheNextLine",
         kGood + "ASIO=" + std::string(1018, 'x') + "AWE" + std::string(974, 'y') + "\n", driver, true,
         "awe=1|asio=" + std::string(519, 'x')},
        {"BadWindowSizesOnlyWarnAndAGoodOneIsRemembered",
         kGood + "WINDOW=900\nWINDOW=0 5\nWINDOW=40000 700\nWINDOW= 900  700\n", window + window + window,
         true, "window=900x700"},
        {"LinesOfNoKeyAreIgnored", kGood + " VOLUME=-5\nvolume=-5\n# AWE\n\nASIOX=1\nRATE 1\nzeb\nawe\n", "",
         true, "volume=-20|zeb=0|awe=0"},
    };
}

class SettingsLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SettingsLine, IsAppliedWithItsExactMessages) {
    const LineCase& c = GetParam();
    test::TempDir dir;
    dir.write("Quoril.ini", c.ini);
    Registry registry;
    registry.parse(registryFileNaming(dir.path()));
    Settings settings;
    listThreeDrivers(settings);
    DiagnosticsLog log;
    EXPECT_EQ(readSettingsFile(settings, registry, kKey, "Quoril.ini", log), 1);
    EXPECT_EQ(log.snapshot(), c.log);
    EXPECT_EQ(settings.valid, c.valid);
    EXPECT_TRUE(hasFields(settings, c.fields));
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsLine, ::testing::ValuesIn(lineCases()),
                         [](const auto& info) { return std::string(info.param.name); });

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
    ::testing::Values(PathCase{"AmongSeveralValuesInAKeyNamedInAnyCase",
                               "[HKEY_LOCAL_MACHINE\\software\\RAVEK]\n\"Installed\"=dword:"
                               "0000000a\n\"Path\"=\"/opt/q\"\n\"L\"=\"\"\n",
                               "/opt/q"},
                      PathCase{"AfterAValueTooLongToRead",
                               kRavek + "\"N\"=\"" + std::string(2000, 'n') + "\"\n\"Path\"=\"/b\"\n", "/b"},
                      PathCase{"NotWhenTheNameDiffersInCaseOrLengthNorFromTheDefaultValueOrAnotherKey",
                               kRavek + "\"PATH\"=\"/c\"\n\"Paths\"=\"/c\"\n\"Path \"=\"/d\"\n@=\"/e\"\n"
                                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"Path\"=\"/f\"\n",
                               ""},
                      PathCase{"CutTo259CharactersWhenTheDataFits",
                               kRavek + "\"Path\"=\"/" + std::string(1022, 'p') + "\"\n",
                               "/" + std::string(258, 'p')},
                      PathCase{"FromADwordAsItsBytes", kRavek + "\"Path\"=dword:00636261\n", "abc"}),
    [](const auto& info) { return std::string(info.param.name); });

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

struct WriteCase {
    const char* name;
    double rate, volume;
    int phase, mode;
    bool switches;  // ZEB and AWE
    std::string expected;
};

class WrittenFile : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WrittenFile, HasTheFixedLinesInTheFixedOrder) {
    const WriteCase& c = GetParam();
    Settings s = defaultSettings();
    s.outputRate = c.rate;
    s.volumeDb = c.volume;
    s.phase = c.phase;
    s.playbackMode = c.mode;
    s.useAwe = s.zebMode = c.switches;
    EXPECT_EQ(composeSettingsFile(s), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WrittenFile,
    ::testing::Values(WriteCase{"RateOf176400FillsTheTenPlacesAndASmallVolumeGetsALeadingBlank", 176400.0625,
                                -3.5, 0, 2, false,
                                defaultFileWith("RATE= 44100.000\nVOLUME=-30.0\nPHASE=0\nPLAYBACK=R\n",
                                                "RATE=176400.062\nVOLUME= -3.5\nPHASE=0\nPLAYBACK=S\n")},
                      WriteCase{"VolumeOfMinusHundredTakesSixPlacesAnyPhaseButZeroIs180AndExitIsX", 44100.0,
                                -100.0, 90, 4, false,
                                defaultFileWith("VOLUME=-30.0\nPHASE=0\nPLAYBACK=R\n",
                                                "VOLUME=-100.0\nPHASE=180\nPLAYBACK=X\n")},
                      WriteCase{"UnknownModeHasNoLineAndSwitchesComeLastZebBeforeAwe", 44100.0, -30.0, 0, 5,
                                true, defaultFileWith("PLAYBACK=R\n", "") + "ZEB\nAWE\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Writing marks the named driver, and only it, with the current pair.
TEST(WrittenFileSelection, MarksOnlyTheNamedDriverWithTheCurrentPair) {
    Settings s = defaultSettings();
    listThreeDrivers(s);
    s.drivers[0].selected = s.drivers[2].selected = true;
    s.drivers[2].pairIndex = 9;
    s.asioDriverName = "Big Card";
    s.channelPair = 3;
    EXPECT_EQ(composeSettingsFile(s).find("ASIO=Big Card\nASIOCHANNEL=3\n"), 0u);
    EXPECT_TRUE(hasFields(s, "drivers=0,*3,9,0,0,0,0,0,"));
    s.asioDriverName = "";  // matches no entry, not even the unused ones
    composeSettingsFile(s);
    EXPECT_TRUE(hasFields(s, "drivers=0,3,9,0,0,0,0,0,"));
}

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setSettingsInstance(&m_settings);
        fs::create_directories(m_install);
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
    void writeIni(const std::string& text) { m_dir.write("install/Quoril.ini", text); }
    void startFromDefaults() {
        m_settings = defaultSettings();
        m_settings.iniPath = m_iniPath;
    }
    // Quoril.ini alone: no temporary file is left behind.
    long installFiles() const {
        return std::distance(fs::directory_iterator(m_install), fs::directory_iterator());
    }

    test::TempDir m_dir;
    Settings m_settings;
    std::string m_install = m_dir.path() + "/install";
    std::string m_iniPath = m_install + "/Quoril.ini";
};

struct LoadCase {
    const char* name;
    bool registered;
    const char* ini;  // nullptr: no file; "/": a directory in its place
    int result;
    std::string log;  // what loadSettings appends to the caller's text
};

class SettingsLoad : public SettingsFileTest, public ::testing::WithParamInterface<LoadCase> {};

// Each load starts from a record left valid and odd by an earlier one: a load that finds no file
// gives the defaults, every load starts invalid again, and the memory figures are always set.
TEST_P(SettingsLoad, AppendsItsMessagesAfterTheCallersTextAndResetsTheRecord) {
    const LoadCase& c = GetParam();
    if (c.registered) {
        m_dir.write("registry.reg", registryFileNaming(m_install));
    }
    if (c.ini && std::string(c.ini) == "/") {
        fs::create_directories(m_iniPath);
    } else if (c.ini) {
        writeIni(c.ini);
    }
    listThreeDrivers(m_settings);
    m_settings.useAwe = m_settings.valid = m_settings.drivers[1].selected = true;
    m_settings.phase = m_settings.channelPair = 3;
    m_settings.asioDriverName = "Old";
    m_settings.volumeDb = 96000.0;
    const std::string start = "Processing .ini file...\r\n\r\n";
    DiagnosticsLog log(start);
    EXPECT_EQ(loadSettings(kKey, "Quoril.ini", log, scanUsableDrivers), c.result);
    EXPECT_EQ(log.snapshot(), start + c.log);
    EXPECT_FALSE(m_settings.valid);
    EXPECT_EQ(m_settings.availableMemory, 10000 * 1024LL - 14360576LL)
        << "the system's figure less the reserve";
    EXPECT_EQ(m_settings.totalMemory, 8000000ULL * 1024);
    EXPECT_EQ(m_settings.installPath, c.registered ? m_install : "");
    EXPECT_EQ(m_settings.driverCount, 0) << "no driver is registered here, so the scan lists none";
    if (c.result == 0) {
        EXPECT_EQ(describe(m_settings), describe(defaultSettings()));
        EXPECT_EQ(m_settings.iniPath, m_iniPath);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingsLoad,
    ::testing::Values(
        LoadCase{"NoRegistryEntryIsReportedWithoutALineEnd", false, nullptr, 1,
                 "Installation path not found in Registry. Reinstall player!"},
        LoadCase{"NoFileLeavesTheDefaultsSilently", true, nullptr, 0, ""},
        LoadCase{"ADirectoryInPlaceOfTheFileReadsAsNoFile", true, "/", 0, ""},
        LoadCase{"MessagesComeInFileOrder", true, "ASIO=Gone Card\r\nSRC=3\r\n", 1,
                 "ASIO driver is invalid. Redo settings.\r\nSRC converter invalid. Redo settings.\r\n" +
                     std::string(kInvalidBlock)}),
    [](const auto& info) { return std::string(info.param.name); });

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
        EXPECT_EQ(installFiles(), 1);
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
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(saveSettings(SaveForm::Confirm, 0.0) ? 1 : 0);
    }
    int status = 0;
    ASSERT_TRUE(test::waitForChild(child, std::chrono::seconds(30), status));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save claimed success";
    EXPECT_EQ(test::readFile(m_iniPath), previous);
    EXPECT_EQ(installFiles(), 1);
}

// German writes 1,5 for 1.5.
TEST_F(SettingsFileTest, NumbersAreWrittenAndReadWithADecimalPointInAnyLocale) {
    m_dir.write("registry.reg", registryFileNaming(m_install));
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
    }
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
    EXPECT_TRUE(hasFields(m_settings, "rate=48000.5|volume=-3.5"));
}

}  // namespace
}  // namespace quoril
