#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "config/SettingsReader.h"
#include "config/SettingsTestData.h"
#include "platform/DiagnosticsLog.h"
#include "platform/LineReader.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace quoril {
namespace {

using test::kInvalidBlock;

// Six good lines, one of each counted key.
const std::string kGood =
    "ASIO=Quoril Capture\nASIOCHANNEL=0\nSRC=1\nRATE=44100\nVOLUME=-20.0\nDIAGNOSTICS=Yes\n";
// The good lines after the driver and the channel.
const std::string kRest = "SRC=1\nRATE=44100\nVOLUME=-20.0\nDIAGNOSTICS=Yes\n";

struct LineCase {
    const char* name;
    std::string ini;
    std::string log;     // the reader's whole log, byte for byte
    bool valid;          // six counted lines accepted
    std::string fields;  // what the record must hold afterwards (see test::hasFields)
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << c.name;
}

std::string repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

std::vector<LineCase> lineCases() {
    const std::string channel = "ASIO channel is invalid. Redo settings.\r\n";
    const std::string pairRange =
        "ASIO output channel invalid (max pairs supported is 50). Redo settings.\r\n" + channel;
    const std::string driver = "ASIO driver is invalid. Redo settings.\r\n";
    const std::string zeroRate = "SRC rate cannot be zero. Redo settings.\r\n";
    const std::string volumeRange = "Volume out of range, set to -30.0 default.\r\n";
    const std::string phase = "Phase invalid, set to 0 default.\r\n";
    return {
        {"SixCountedKeysAloneAreValid", kGood, "", true,
         "asio=Quoril Capture|pair=0|src=1|srcText=1|rate=44100|volume=-20|phase=0|playback=1|diagnostics=1|"
         "filter=1|zeb=0|awe=0|drivers=*0,0,0,0,0,0,0,0,"},
        {"FiveCountedKeysAreInvalidButKeepTheirValues",
         "ASIO=Big Card\nASIOCHANNEL=3\nSRC=0\nRATE=96000\nVOLUME=-7.5\n", kInvalidBlock, false,
         "pair=3|src=0|rate=96000|volume=-7.5"},
        {"RejectedCountedLinesDoNotCount",
         "ASIO=Nope\nASIOCHANNEL=0\nSRC=5\nRATE=0\nVOLUME=1\nDIAGNOSTICS=\n" + repeat("SRC=1\n", 5),
         driver + channel + "SRC converter invalid. Redo settings.\r\n" + zeroRate + volumeRange +
             "Diagnostics is invalid. Redo settings.\r\n" + kInvalidBlock,
         false, ""},
        {"ChannelBeforeDriverIsRejectedButSetsThePair", "ASIOCHANNEL=3\nASIO=Quoril Capture\n" + kRest,
         channel + kInvalidBlock, false, "pair=3"},
        {"NegativeChannelIsReadAsItsAbsoluteValue", "ASIO=Big Card\nASIOCHANNEL=-1\n" + kRest, "", true,
         "pair=1|drivers=0,*1,0,0,0,0,0,0,"},
        {"SecondPairOfATwoChannelDriverIsOutOfRange", "ASIO=Quoril Capture\nASIOCHANNEL=1\n" + kRest,
         pairRange + kInvalidBlock, false, "pair=0"},
        {"PairFortyNineOfABigDriverIsAccepted", "ASIO=Huge Card\nASIOCHANNEL=49\n" + kRest, "", true,
         "drivers=0,0,*49,0,0,0,0,0,"},
        {"PairFiftyIsOutOfRangeEvenWhenTheDriverHasMore", "ASIO=Huge Card\nASIOCHANNEL=50\n" + kRest,
         pairRange + kInvalidBlock, false, "pair=0"},
        {"EmptyChannelIsInvalid", kGood + "ASIOCHANNEL=  \n", "ASIO channel invalid. Redo settings.\r\n",
         true, ""},
        {"ChannelWrapsAroundSixteenBits", "ASIO=Big Card\nASIOCHANNEL=65538\n" + kRest, "", true, "pair=2"},
        {"ChannelIsTheTokenAfterBlanks", "ASIO=Big Card\nASIOCHANNEL= \t3 and more\n" + kRest, "", true,
         "pair=3"},
        {"BlankDriverNameIsRejectedAndKeepsTheEarlierName", kGood + "ASIO=\n",
         "ASIO driver cannot be blank. Redo settings.\r\n", true, "asio=Quoril Capture"},
        {"UnknownDriverNameIsRejectedButKept", kGood + "ASIO=Other Card\n", driver, true, "asio=Other Card"},
        {"DriverNameMatchesExactlyWithCaseAndBlanks", kGood + "ASIO=quoril capture\nASIO=Quoril Capture \n",
         driver + driver, true, "asio=Quoril Capture "},
        {"ConverterZeroIsAccepted", kGood + "SRC=0\n", "", true, "src=0|srcText=0"},
        {"ConverterTwoIsRejectedAndResetToOne", kGood + "SRC=0\nSRC=2\n",
         "SRC converter invalid. Redo settings.\r\n", true, "src=1|srcText=0"},
        {"EmptyConverterIsRejectedAndLeavesTheType", kGood + "SRC=0\nSRC=\n",
         "SRC converter invalid. Redo settings.\r\n", true, "src=0"},
        {"ConverterTextKeepsTheWholeRestOfTheLine", kGood + "SRC= 1 best\n", "", true, "srcText= 1 best"},
        {"ConverterWrapsAroundSixteenBits", kGood + "SRC=65536\n", "", true, "src=0"},
        {"NegativeRateIsUsedAsItsAbsoluteValue", kGood + "RATE=-48000\n", "", true, "rate=48000"},
        {"RateThatIsNoNumberCountsAsZero", kGood + "RATE=abc\n", zeroRate, true, "rate=0"},
        {"ZeroRateIsRejected",
         "RATE=0.000\nASIO=Quoril Capture\nASIOCHANNEL=0\nSRC=1\nVOLUME=-2\nDIAGNOSTICS=1\n",
         zeroRate + kInvalidBlock, false, "rate=0"},
        {"EmptyRateIsRejectedAndLeavesTheRate", kGood + "RATE=48000\nRATE=\n",
         "SRC rate invalid. Redo settings.\r\n", true, "rate=48000"},
        {"RateIsADecimalToken", kGood + "RATE=  88200.5 Hz\n", "", true, "rate=88200.5"},
        {"RateWordsAndHexAreNoDecimalNumbers", kGood + "RATE=inf\nRATE=0x10\n", zeroRate + zeroRate, true,
         ""},
        {"RateTooLargeForADoubleIsRejected", kGood + "RATE=1e999\n", zeroRate, true, "rate=0"},
        {"VolumeThatIsNoNumberReadsAsZeroDecibels", kGood + "VOLUME=abc\n", "", true, "volume=0"},
        {"VolumeAboveZeroIsResetToMinusThirty", kGood + "VOLUME=0.5\n", volumeRange, true, "volume=-30"},
        {"VolumeBelowMinusHundredIsResetToMinusThirty", kGood + "VOLUME=-100.1\n", volumeRange, true,
         "volume=-30"},
        {"VolumeOfMinusHundredIsAccepted", kGood + "VOLUME=-100\n", "", true, "volume=-100"},
        {"VolumeTakesAnExponent", kGood + "VOLUME=-1.5e1dB\n", "", true, "volume=-15"},
        {"EmptyVolumeIsRejectedAndLeavesTheVolume", kGood + "VOLUME=\n",
         "Volume invalid, set to -30.0 default.\r\n", true, "volume=-20"},
        {"PhaseOf180IsAccepted", kGood + "PHASE=180\n", "", true, "phase=180"},
        {"OtherPhaseIsResetToZero", kGood + "PHASE=180\nPHASE=90\n", phase, true, "phase=0"},
        {"EmptyPhaseOnlyWarns", kGood + "PHASE=180\nPHASE=\n", phase, true, "phase=180"},
        {"UncountedKeysDoNotCount", repeat("SRC=1\n", 5) + "PHASE=0\nPLAYBACK=R\nFILTER=1\nZEB\nAWE\nASIO=\n",
         "ASIO driver cannot be blank. Redo settings.\r\n" + std::string(kInvalidBlock), false, ""},
        {"PlaybackRandomMeansRepeatByItsFirstLetter", kGood + "PLAYBACK=S\nPLAYBACK=random\n", "", true,
         "playback=1"},
        {"PlaybackNIsRandomMode", kGood + "PLAYBACK=N\n", "", true, "playback=3"},
        {"PlaybackLettersIgnoreCase", kGood + "PLAYBACK=stop\n", "", true, "playback=2"},
        {"PlaybackExitIsX", kGood + "PLAYBACK= x\n", "", true, "playback=4"},
        {"UnknownPlaybackChangesNothingSilently", kGood + "PLAYBACK=N\nPLAYBACK=Q\nPLAYBACK=\n", "", true,
         "playback=3"},
        {"DiagnosticsNoTurnsDiagnosticsOff", kGood + "DIAGNOSTICS=no\n", "", true, "diagnostics=0"},
        {"DiagnosticsZeroTurnsDiagnosticsOn", kGood + "DIAGNOSTICS=No\nDIAGNOSTICS=0\n", "", true,
         "diagnostics=1"},
        {"EmptyDiagnosticsIsInvalid", "DIAGNOSTICS=\n" + kGood, "Diagnostics is invalid. Redo settings.\r\n",
         true, ""},
        {"ZebraSwitchesZebModeOn", kGood + "ZEBRA\n", "", true, "zeb=1"},
        {"LowerCaseZebIsIgnored", kGood + "zeb\nzebra\n", "", true, "zeb=0"},
        {"FilterSevenGivesOne", kGood + "FILTER=3\nFILTER=7\n", "", true, "filter=1"},
        {"EmptyFilterGivesOne", kGood + "FILTER=2\nFILTER=\n", "", true, "filter=1"},
        {"FilterThreeIsKept", kGood + "FILTER= 3\n", "", true, "filter=3"},
        {"FilterDoesNotWrapIntoRange", kGood + "FILTER=4294967298\n", "", true, "filter=1"},
        {"AweAndLongerWordsSwitchLockedMemoryOn", kGood + "AWESOME\n", "", true, "awe=1"},
        {"LowerCaseAweIsIgnored", kGood + "awe\n", "", true, "awe=0"},
        {"OneCountedKeySixTimesIsValid", repeat("VOLUME=-10.0\n", 6), "", true, "volume=-10"},
        {"OneCountedKeyFiveTimesIsInvalid", repeat("SRC=0\n", 5), kInvalidBlock, false, ""},
        {"LastAcceptedValueOfARepeatedKeyStands", kGood + "RATE=48000\nRATE=\nVOLUME=-3\n",
         "SRC rate invalid. Redo settings.\r\n", true, "rate=48000|volume=-3"},
        {"CrLfLinesReadLikeLfLines",
         "ASIO=Quoril "
         "Capture\r\nASIOCHANNEL=0\r\nSRC=1\r\nRATE=44100\r\nVOLUME=-20.0\r\nDIAGNOSTICS=Yes\r\nZEB\r\n",
         "", true, "asio=Quoril Capture|srcText=1|zeb=1"},
        {"LastLineNeedsNoLineEnd", kGood + "SRC=0", "", true, "srcText=0"},
        {"LongLineContinuesAsTheNextLine",
         kGood + "ASIO=" + std::string(1018, 'x') + "AWE" + std::string(974, 'y') + "\n", driver, true,
         "awe=1|asio=" + std::string(519, 'x')},
        {"WindowSizeIsRememberedAndAFileWithoutItHasNone", kGood + "WINDOW= 900  700\n", "", true,
         "window=900x700"},
        {"BadWindowSizesOnlyWarn", kGood + "WINDOW=900\nWINDOW=0 5\nWINDOW=40000 700\n",
         repeat("Window size invalid, default size assumed.\r\n", 3), true, "window=0x0"},
        {"LongDriverNameIsCutOnACharacter", kGood + "ASIO=" + std::string(518, 'x') + "\u00e9\u00e9\n",
         driver, true, "asio=" + std::string(518, 'x') + "\u00e9"},
        {"LinesOfNoKeyAreIgnored", kGood + " VOLUME=-5\nvolume=-5\n# AWE\n\nASIOX=1\nRATE 1\n", "", true,
         "volume=-20|awe=0"},
    };
}

class SettingsLine : public ::testing::TestWithParam<LineCase> {};

// Reads the line table as the installation's Quoril.ini, found through a registry that names
// the directory among other values, with three drivers listed.
TEST_P(SettingsLine, IsAppliedWithItsExactMessages) {
    const LineCase& c = GetParam();
    test::TempDir dir;
    dir.write("Quoril.ini", c.ini);
    Registry registry;
    registry.parse(test::registryFileNaming(dir.path()));
    Settings settings;
    test::listThreeDrivers(settings);
    DiagnosticsLog log;
    EXPECT_EQ(readSettingsFile(settings, registry, "SOFTWARE\\Ravek", "Quoril.ini", log), 1);
    EXPECT_EQ(log.snapshot(), c.log);
    EXPECT_EQ(settings.valid, c.valid);
    if (!c.fields.empty()) {
        EXPECT_TRUE(test::hasFields(settings, c.fields));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsLine, ::testing::ValuesIn(lineCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsReaderText, ReadsLinesInPiecesOf1023Characters) {
    // A 2,000-character line: the piece after the first 1,023 characters is read as a line of its
    // own, so a key standing exactly there is applied.
    std::string longLine = "ZEB" + std::string(1020, '-') + "AWE" + std::string(2000 - 1026, '-');
    Settings s;
    DiagnosticsLog log;
    SettingsReader reader(s, log);
    LineReader lines;
    lines.openText(longLine + "\nFILTER=2\n");
    reader.readAll(lines);
    EXPECT_TRUE(test::hasFields(s, "zeb=1|awe=1|filter=2"));
    EXPECT_EQ(log.snapshot(), "");
}

TEST(SettingsReaderText, ValueEndsAtAZeroByteAndLineEndsDoNotBelongToIt) {
    Settings s;
    test::listThreeDrivers(s);
    DiagnosticsLog log;
    SettingsReader reader(s, log);
    reader.applyLine(std::string("ASIO=Big Card\0junk\n", 19));
    reader.applyLine("ASIO=Big Card\r");
    EXPECT_TRUE(test::hasFields(s, "asio=Big Card|drivers=0,*0,0,0,0,0,0,0,"));
    EXPECT_EQ(reader.countedItems(), 2);
}

}  // namespace
}  // namespace quoril
