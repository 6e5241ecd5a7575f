#include <gtest/gtest.h>

#include <string>

#include "ui/PlayerDialog.h"
#include "ui/console/ConsolePlayerView.h"

namespace quoril::test {
namespace {

std::string padded(const std::string& text) {
    return text + std::string(48 - text.size(), ' ');
}

struct ListLineCase {
    const char* name;
    int row;
    int32_t frames;
    double rate;
    std::string title;
    std::string line;
};

class ListLineTest : public ::testing::TestWithParam<ListLineCase> {};

TEST_P(ListLineTest, IsNumberMinutesSecondsAndTitleInFortyEightCharacters) {
    const ListLineCase& c = GetParam();
    std::string line = PlayerDialog::listLine(c.row, c.frames, c.rate, c.title);
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(line.size(), 48u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ListLineTest,
    ::testing::Values(
        ListLineCase{"ThreeMinutesFiveSeconds", 0, 185 * 44100, 44100.0, "Intro", padded("01 03:05 Intro")},
        ListLineCase{"TenthRowAndJustUnderAMinute", 9, 59 * 48000 + 47999, 48000.0, "B",
                     padded("10 00:59 B")},
        ListLineCase{"ALongTitleIsCut", 1, 90 * 44100, 44100.0, std::string(60, 'x'),
                     "02 01:30 " + std::string(39, 'x')},
        // The seconds are the whole part of the fraction of a minute times 60, in floating point:
        // 61 s comes out just below 1.
        ListLineCase{"SecondsAreTheWholePartOfTheMinutesFraction", 4, 61 * 44100, 44100.0, "S",
                     padded("05 01:00 S")},
        ListLineCase{"AnEmptyTitleIsPadded", 2, 0, 44100.0, "", "03 00:00" + std::string(40, ' ')},
        ListLineCase{"AHundredMinutesKeepAllDigits", 0, 6000 * 8000, 8000.0, "Long",
                     padded("01 100:00 Long")}),
    [](const ::testing::TestParamInfo<ListLineCase>& info) { return std::string(info.param.name); });

struct TrackTimeCase {
    const char* name;
    int track;
    int64_t seconds;
    int phaseSign;
    const char* text;
};

class TrackTimeTest : public ::testing::TestWithParam<TrackTimeCase> {};

TEST_P(TrackTimeTest, IsTrackThenBlankOrCircumflexThenMinutesAndSeconds) {
    const TrackTimeCase& c = GetParam();
    EXPECT_EQ(PlayerDialog::trackTimeText(c.track, c.seconds, c.phaseSign), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, TrackTimeTest,
    ::testing::Values(TrackTimeCase{"StartOfTrackOne", 1, 0, 1, "01 00:00"},
                      TrackTimeCase{"PhaseInvertedTrackTwo", 2, 77, -1, "02^01:17"},
                      TrackTimeCase{"TwoDigitTrack", 12, 9 * 60 + 59, 1, "12 09:59"},
                      TrackTimeCase{"AHundredAndTwentyThreeMinutesShowTheirFirstTwoDigits", 3, 123 * 60 + 4,
                                    1, "03 12:04"}),
    [](const ::testing::TestParamInfo<TrackTimeCase>& info) { return std::string(info.param.name); });

TEST(VolumeText, IsFormattedWithOneDecimal) {
    EXPECT_EQ(PlayerDialog::volumeText(-30.0), "-30.0");
    EXPECT_EQ(PlayerDialog::volumeText(-5.5), "-5.5");
    EXPECT_EQ(PlayerDialog::volumeText(0.0), " 0.0");
    EXPECT_EQ(PlayerDialog::volumeText(-100.0), "-100.0");
}

TEST(ConsoleBox, PrintsTheCaptionLineThenTheTextWithPlainLineEnds) {
    EXPECT_EQ(ConsolePlayerView::boxText("Ravek", "DSP could NOT be started.\r\n"),
              "== Ravek ==\nDSP could NOT be started.\n");
    EXPECT_EQ(ConsolePlayerView::boxText("Ravek Diagnostics", "a\r\n\tb\r\n\r\nc"),
              "== Ravek Diagnostics ==\na\n\tb\n\nc\n");
    EXPECT_EQ(ConsolePlayerView::boxText("Ravek Diagnostics", ""), "== Ravek Diagnostics ==\n");
}

}  // namespace
}  // namespace quoril::test
