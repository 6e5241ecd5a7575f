#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/DiagnosticsLog.h"
#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "config/SettingsReader.h"
#include "config/SettingsTestData.h"
#include "platform/LineReader.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

using test::kInvalidBlock;

// Six good lines, one of each counted key.
const std::string kGood =
    "ASIO=Quoril Capture\n"
    "ASIOCHANNEL=0\n"
    "SRC=1\n"
    "RATE=44100\n"
    "VOLUME=-20.0\n"
    "DIAGNOSTICS=Yes\n";

struct ReadOutcome {
    int result = -1;
    std::string log;
    Settings settings;
};

// Writes ini as the installation's Quoril.ini and reads it with three drivers listed.
ReadOutcome readIni(const std::string& ini) {
    test::TempDir dir;
    dir.write("Quoril.ini", ini);
    Registry registry;
    registry.parse(test::registryFileNaming(dir.path()));
    ReadOutcome out;
    test::listThreeDrivers(out.settings);
    DiagnosticsLog log;
    out.result = readSettingsFile(out.settings, registry, "SOFTWARE\\Ravek", "Quoril.ini", log);
    out.log = log.snapshot();
    return out;
}

std::string repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

struct LineCase {
    const char* name;
    std::string ini;
    std::string expectedLog;
    bool expectValid;
    std::function<void(const Settings&)> check;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<LineCase> lineCases() {
    const std::string channelInvalid = "ASIO channel is invalid. Redo settings.\r\n";
    const std::string pairOutOfRange =
        "ASIO output channel invalid (max pairs supported is 50). Redo settings.\r\n" + channelInvalid;
    const std::string bodyWithout = "SRC=1\nRATE=44100\nVOLUME=-20.0\nDIAGNOSTICS=Yes\n";
    return {
        {"SixCountedKeysAloneAreValid", kGood, "", true,
         [](const Settings& s) {
             EXPECT_EQ(s.asioDriverName, "Quoril Capture");
             EXPECT_TRUE(s.drivers[0].selected);
             EXPECT_FALSE(s.drivers[1].selected);
             EXPECT_EQ(s.channelPair, 0);
             EXPECT_EQ(s.converterType, 1);
             EXPECT_EQ(s.converterText, "1");
             EXPECT_EQ(s.outputRate, 44100.0);
             EXPECT_EQ(s.volumeDb, -20.0);
             EXPECT_TRUE(s.diagnostics);
             EXPECT_EQ(s.phase, 0);
             EXPECT_EQ(s.playbackMode, 1);
             EXPECT_EQ(s.fileFilterIndex, 1);
             EXPECT_FALSE(s.zebMode);
             EXPECT_FALSE(s.useAwe);
         }},
        {"FiveCountedKeysAreInvalidButKeepTheirValues",
         "ASIO=Big Card\nASIOCHANNEL=3\nSRC=0\nRATE=96000\nVOLUME=-7.5\n", kInvalidBlock, false,
         [](const Settings& s) {
             EXPECT_EQ(s.channelPair, 3);
             EXPECT_EQ(s.converterType, 0);
             EXPECT_EQ(s.outputRate, 96000.0);
             EXPECT_EQ(s.volumeDb, -7.5);
         }},
        {"RejectedCountedLinesDoNotCount", "ASIO=Nope\nASIOCHANNEL=0\n" + bodyWithout,
         "ASIO driver is invalid. Redo settings.\r\n" + channelInvalid + kInvalidBlock, false, nullptr},
        {"ChannelBeforeDriverIsRejectedAndMakesTheFileInvalid",
         "ASIOCHANNEL=0\nASIO=Quoril Capture\n" + bodyWithout, channelInvalid + kInvalidBlock, false,
         nullptr},
        {"ChannelBeforeDriverStillSetsThePair",
         "ASIOCHANNEL=3\n" + kGood.substr(0, kGood.find("ASIOCHANNEL")) + bodyWithout,
         channelInvalid + kInvalidBlock, false, [](const Settings& s) { EXPECT_EQ(s.channelPair, 3); }},
        {"NegativeChannelIsReadAsItsAbsoluteValue", "ASIO=Big Card\nASIOCHANNEL=-1\n" + bodyWithout, "", true,
         [](const Settings& s) {
             EXPECT_EQ(s.channelPair, 1);
             EXPECT_EQ(s.drivers[1].pairIndex, 1);
             EXPECT_EQ(s.drivers[0].pairIndex, 0);
         }},
        {"OnlyPairOfATwoChannelDriverIsAccepted", "ASIO=Quoril Capture\nASIOCHANNEL=0\n" + bodyWithout, "",
         true, [](const Settings& s) { EXPECT_EQ(s.drivers[0].pairIndex, 0); }},
        {"SecondPairOfATwoChannelDriverIsOutOfRange", "ASIO=Quoril Capture\nASIOCHANNEL=1\n" + bodyWithout,
         pairOutOfRange + kInvalidBlock, false, [](const Settings& s) { EXPECT_EQ(s.channelPair, 0); }},
        {"PairFortyNineOfABigDriverIsAccepted", "ASIO=Huge Card\nASIOCHANNEL=49\n" + bodyWithout, "", true,
         [](const Settings& s) { EXPECT_EQ(s.drivers[2].pairIndex, 49); }},
        {"PairFiftyIsOutOfRangeEvenWhenTheDriverHasMore", "ASIO=Huge Card\nASIOCHANNEL=50\n" + bodyWithout,
         pairOutOfRange + kInvalidBlock, false, [](const Settings& s) { EXPECT_EQ(s.channelPair, 0); }},
        {"EmptyChannelIsInvalid", kGood + "ASIOCHANNEL=  \n", "ASIO channel invalid. Redo settings.\r\n",
         true, nullptr},
        {"ChannelWrapsAroundSixteenBits", "ASIO=Big Card\nASIOCHANNEL=65538\n" + bodyWithout, "", true,
         [](const Settings& s) { EXPECT_EQ(s.channelPair, 2); }},
        {"ChannelIsTheTokenAfterBlanks", "ASIO=Big Card\nASIOCHANNEL= \t3 and more\n" + bodyWithout, "", true,
         [](const Settings& s) { EXPECT_EQ(s.channelPair, 3); }},
        {"BlankDriverNameIsRejectedAndKeepsTheEarlierName", kGood + "ASIO=\n",
         "ASIO driver cannot be blank. Redo settings.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.asioDriverName, "Quoril Capture"); }},
        {"UnknownDriverNameIsRejectedButKept", kGood + "ASIO=Other Card\n",
         "ASIO driver is invalid. Redo settings.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.asioDriverName, "Other Card"); }},
        {"DriverNameMatchesExactlyWithCaseAndBlanks", kGood + "ASIO=quoril capture\nASIO=Quoril Capture \n",
         "ASIO driver is invalid. Redo settings.\r\nASIO driver is invalid. Redo settings.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.asioDriverName, "Quoril Capture "); }},
        {"ConverterZeroIsAccepted", kGood + "SRC=0\n", "", true,
         [](const Settings& s) {
             EXPECT_EQ(s.converterType, 0);
             EXPECT_EQ(s.converterText, "0");
         }},
        {"ConverterTwoIsRejectedAndResetToOne", kGood + "SRC=0\nSRC=2\n",
         "SRC converter invalid. Redo settings.\r\n", true,
         [](const Settings& s) {
             EXPECT_EQ(s.converterType, 1);
             EXPECT_EQ(s.converterText, "0");
         }},
        {"EmptyConverterIsRejectedAndLeavesTheType", kGood + "SRC=0\nSRC=\n",
         "SRC converter invalid. Redo settings.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.converterType, 0); }},
        {"ConverterTextKeepsTheWholeRestOfTheLine", kGood + "SRC= 1 best\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.converterText, " 1 best"); }},
        {"ConverterWrapsAroundSixteenBits", kGood + "SRC=65536\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.converterType, 0); }},
        {"NegativeRateIsUsedAsItsAbsoluteValue", kGood + "RATE=-48000\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.outputRate, 48000.0); }},
        {"RateThatIsNoNumberCountsAsZero", kGood + "RATE=abc\n",
         "SRC rate cannot be zero. Redo settings.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.outputRate, 0.0); }},
        {"ZeroRateIsRejected",
         "RATE=0.000\n" + kGood.substr(0, kGood.find("RATE")) + "VOLUME=-20.0\nDIAGNOSTICS=Yes\n",
         "SRC rate cannot be zero. Redo settings.\r\n" + std::string(kInvalidBlock), false,
         [](const Settings& s) { EXPECT_EQ(s.outputRate, 0.0); }},
        {"EmptyRateIsRejectedAndLeavesTheRate", kGood + "RATE=48000\nRATE=\n",
         "SRC rate invalid. Redo settings.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.outputRate, 48000.0); }},
        {"RateIsADecimalToken", kGood + "RATE=  88200.5 Hz\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.outputRate, 88200.5); }},
        {"RateWordsAndHexAreNoDecimalNumbers", kGood + "RATE=inf\nRATE=0x10\n",
         "SRC rate cannot be zero. Redo settings.\r\nSRC rate cannot be zero. Redo settings.\r\n", true,
         nullptr},
        {"RateTooLargeForADoubleIsRejected", kGood + "RATE=1e999\n",
         "SRC rate cannot be zero. Redo settings.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.outputRate, 0.0); }},
        {"VolumeThatIsNoNumberReadsAsZeroDecibels", kGood + "VOLUME=abc\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.volumeDb, 0.0); }},
        {"VolumeAboveZeroIsResetToMinusThirty", kGood + "VOLUME=0.5\n",
         "Volume out of range, set to -30.0 default.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.volumeDb, -30.0); }},
        {"VolumeBelowMinusHundredIsResetToMinusThirty", kGood + "VOLUME=-100.1\n",
         "Volume out of range, set to -30.0 default.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.volumeDb, -30.0); }},
        {"VolumeOfMinusHundredIsAccepted", kGood + "VOLUME=-100\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.volumeDb, -100.0); }},
        {"VolumeTakesAnExponent", kGood + "VOLUME=-1.5e1dB\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.volumeDb, -15.0); }},
        {"EmptyVolumeIsRejectedAndLeavesTheVolume", kGood + "VOLUME=\n",
         "Volume invalid, set to -30.0 default.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.volumeDb, -20.0); }},
        {"PhaseOf180IsAccepted", kGood + "PHASE=180\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.phase, 180); }},
        {"OtherPhaseIsResetToZero", kGood + "PHASE=180\nPHASE=90\n", "Phase invalid, set to 0 default.\r\n",
         true, [](const Settings& s) { EXPECT_EQ(s.phase, 0); }},
        {"EmptyPhaseOnlyWarns", kGood + "PHASE=180\nPHASE=\n", "Phase invalid, set to 0 default.\r\n", true,
         [](const Settings& s) { EXPECT_EQ(s.phase, 180); }},
        {"PhaseIsNotCounted", "PHASE=180\nPHASE=0\nPHASE=180\nPHASE=0\nPHASE=180\nPHASE=0\n", kInvalidBlock,
         false, nullptr},
        {"PlaybackRandomMeansRepeatByItsFirstLetter", kGood + "PLAYBACK=S\nPLAYBACK=random\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.playbackMode, 1); }},
        {"PlaybackNIsRandomMode", kGood + "PLAYBACK=N\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.playbackMode, 3); }},
        {"PlaybackLettersIgnoreCase", kGood + "PLAYBACK=stop\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.playbackMode, 2); }},
        {"PlaybackExitIsX", kGood + "PLAYBACK= x\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.playbackMode, 4); }},
        {"UnknownPlaybackChangesNothingSilently", kGood + "PLAYBACK=N\nPLAYBACK=Q\nPLAYBACK=\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.playbackMode, 3); }},
        {"DiagnosticsNoTurnsDiagnosticsOff", kGood + "DIAGNOSTICS=no\n", "", true,
         [](const Settings& s) { EXPECT_FALSE(s.diagnostics); }},
        {"DiagnosticsZeroTurnsDiagnosticsOn", kGood + "DIAGNOSTICS=No\nDIAGNOSTICS=0\n", "", true,
         [](const Settings& s) { EXPECT_TRUE(s.diagnostics); }},
        {"EmptyDiagnosticsIsInvalid", "DIAGNOSTICS=\n" + kGood, "Diagnostics is invalid. Redo settings.\r\n",
         true, nullptr},
        {"ZebraSwitchesZebModeOn", kGood + "ZEBRA\n", "", true,
         [](const Settings& s) { EXPECT_TRUE(s.zebMode); }},
        {"LowerCaseZebIsIgnored", kGood + "zeb\nzebra\n", "", true,
         [](const Settings& s) { EXPECT_FALSE(s.zebMode); }},
        {"FilterSevenGivesOne", kGood + "FILTER=3\nFILTER=7\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.fileFilterIndex, 1); }},
        {"EmptyFilterGivesOne", kGood + "FILTER=2\nFILTER=\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.fileFilterIndex, 1); }},
        {"FilterThreeIsKept", kGood + "FILTER= 3\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.fileFilterIndex, 3); }},
        {"FilterDoesNotWrapIntoRange", kGood + "FILTER=4294967298\n", "", true,
         [](const Settings& s) { EXPECT_EQ(s.fileFilterIndex, 1); }},
        {"AweAndLongerWordsSwitchLockedMemoryOn", kGood + "AWESOME\n", "", true,
         [](const Settings& s) { EXPECT_TRUE(s.useAwe); }},
        {"LowerCaseAweIsIgnored", kGood + "awe\n", "", true,
         [](const Settings& s) { EXPECT_FALSE(s.useAwe); }},
        {"OneCountedKeySixTimesIsValid", repeat("VOLUME=-10.0\n", 6), "", true,
         [](const Settings& s) { EXPECT_EQ(s.volumeDb, -10.0); }},
        {"OneCountedKeyFiveTimesIsInvalid", repeat("SRC=0\n", 5), kInvalidBlock, false, nullptr},
        {"LastAcceptedValueOfARepeatedKeyStands", kGood + "RATE=48000\nRATE=\nVOLUME=-3\n",
         "SRC rate invalid. Redo settings.\r\n", true,
         [](const Settings& s) {
             EXPECT_EQ(s.outputRate, 48000.0);
             EXPECT_EQ(s.volumeDb, -3.0);
         }},
        {"CrLfLinesReadLikeLfLines",
         "ASIO=Quoril "
         "Capture\r\nASIOCHANNEL=0\r\nSRC=1\r\nRATE=44100\r\nVOLUME=-20.0\r\nDIAGNOSTICS=Yes\r\nZEB\r\n",
         "", true,
         [](const Settings& s) {
             EXPECT_EQ(s.asioDriverName, "Quoril Capture");
             EXPECT_EQ(s.converterText, "1");
             EXPECT_TRUE(s.zebMode);
         }},
        {"LastLineNeedsNoLineEnd", kGood + "SRC=0", "", true,
         [](const Settings& s) { EXPECT_EQ(s.converterText, "0"); }},
        {"LongLineContinuesAsTheNextLine",
         kGood + "ASIO=" + std::string(1018, 'x') + "AWE" + std::string(974, 'y') + "\n",
         "ASIO driver is invalid. Redo settings.\r\n", true,
         [](const Settings& s) {
             EXPECT_TRUE(s.useAwe);
             EXPECT_EQ(s.asioDriverName, std::string(519, 'x'));
         }},
        {"LinesOfNoKeyAreIgnored", kGood + " VOLUME=-5\nvolume=-5\n# AWE\n\nASIOX=1\nRATE 1\n", "", true,
         [](const Settings& s) {
             EXPECT_EQ(s.volumeDb, -20.0);
             EXPECT_FALSE(s.useAwe);
         }},
    };
}

class SettingsLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SettingsLine, IsAppliedWithItsExactMessages) {
    const LineCase& c = GetParam();
    ReadOutcome out = readIni(c.ini);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.log, c.expectedLog);
    EXPECT_EQ(out.settings.valid, c.expectValid);
    if (c.check) {
        c.check(out.settings);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsLine, ::testing::ValuesIn(lineCases()),
                         [](const ::testing::TestParamInfo<LineCase>& info) {
                             return std::string(info.param.name);
                         });

// The reader on its own: the count of accepted counted lines, one line at a time.
struct CountCase {
    const char* name;
    std::vector<std::string> lines;
    int counted;
};

void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.name;
}

class CountedItems : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountedItems, CountOnlyAcceptedLinesOfTheSixCountedKeys) {
    Settings s;
    test::listThreeDrivers(s);
    DiagnosticsLog log;
    SettingsReader reader(s, log);
    for (const std::string& line : GetParam().lines) {
        reader.applyLine(line);
    }
    EXPECT_EQ(reader.countedItems(), GetParam().counted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CountedItems,
    ::testing::Values(CountCase{"NothingCountsNothing", {}, 0},
                      CountCase{"EachCountedKeyCountsOnce",
                                {"ASIO=Big Card\n", "ASIOCHANNEL=2\n", "SRC=1\n", "RATE=1\n", "VOLUME=0\n",
                                 "DIAGNOSTICS=x\n"},
                                6},
                      CountCase{"UncountedKeysDoNotCount",
                                {"PHASE=0\n", "PLAYBACK=R\n", "FILTER=1\n", "ZEB\n", "AWE\n", "ASIO=\n"},
                                0},
                      CountCase{"RepeatsCountAgain", {"RATE=1\n", "RATE=2\n", "RATE=3\n"}, 3},
                      CountCase{"RejectedValuesDoNotCount",
                                {"ASIO=None\n", "ASIOCHANNEL=0\n", "SRC=5\n", "RATE=0\n", "VOLUME=1\n",
                                 "DIAGNOSTICS=\n"},
                                0},
                      CountCase{"LineEndsDoNotBelongToValues", {"ASIO=Big Card\r\n", "ASIO=Big Card\r"}, 2}),
    [](const ::testing::TestParamInfo<CountCase>& info) { return std::string(info.param.name); });

TEST(SettingsReaderText, ReadsLinesInPiecesOf1023Characters) {
    // A 2,000-character line: the piece after the first 1,023 characters is read as a line of its
    // own, so a key standing exactly there is applied.
    std::string longLine = "ZEB" + std::string(1020, '-') + "AWE" + std::string(2000 - 1026, '-');
    ASSERT_EQ(longLine.size(), 2000u);
    Settings s;
    DiagnosticsLog log;
    SettingsReader reader(s, log);
    LineReader lines;
    lines.openText(longLine + "\nFILTER=2\n");
    reader.readAll(lines);
    EXPECT_TRUE(s.zebMode);
    EXPECT_TRUE(s.useAwe);
    EXPECT_EQ(s.fileFilterIndex, 2);
    EXPECT_EQ(log.snapshot(), "");
}

TEST(SettingsReaderText, ValueEndsAtAZeroByte) {
    Settings s;
    test::listThreeDrivers(s);
    DiagnosticsLog log;
    SettingsReader reader(s, log);
    reader.applyLine(std::string("ASIO=Big Card\0junk\n", 19));
    EXPECT_EQ(s.asioDriverName, "Big Card");
    EXPECT_TRUE(s.drivers[1].selected);
    EXPECT_EQ(reader.countedItems(), 1);
}

}  // namespace
}  // namespace quoril
