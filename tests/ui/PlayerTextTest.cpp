#include <gtest/gtest.h>

#include <string>

#include "ui/PlayerDialog.h"
#include "ui/console/ConsolePlayerView.h"

namespace quoril::test {
namespace {

std::string padded(const std::string& text) {
    return text + std::string(48 - text.size(), ' ');
}

TEST(ListLine, IsNumberMinutesSecondsAndTitleInFortyEightCharacters) {
    const struct {
        int row;
        int32_t frames;
        double rate;
        std::string title;
        std::string line;
    } cases[] = {
        {0, 185 * 44100, 44100.0, "Intro", padded("01 03:05 Intro")},
        {9, 59 * 48000 + 47999, 48000.0, "B", padded("10 00:59 B")},
        {1, 90 * 44100, 44100.0, std::string(60, 'x'), "02 01:30 " + std::string(39, 'x')},  // cut
        // The seconds are the whole part of the fraction of a minute times 60, in floating point:
        // 61 s comes out just below 1.
        {4, 61 * 44100, 44100.0, "S", padded("05 01:00 S")},
        {2, 0, 44100.0, "", padded("03 00:00")},
        {0, 6000 * 8000, 8000.0, "Long", padded("01 100:00 Long")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlayerDialog::listLine(c.row, c.frames, c.rate, c.title), c.line);
    }
}

TEST(FieldText, TrackTimeHasABlankOrCircumflexAndVolumeOneDecimal) {
    EXPECT_EQ(PlayerDialog::trackTimeText(1, 0, 1), "01 00:00");
    EXPECT_EQ(PlayerDialog::trackTimeText(2, 77, -1), "02^01:17");
    EXPECT_EQ(PlayerDialog::trackTimeText(12, 9 * 60 + 59, 1), "12 09:59");
    // A hundred and twenty-three minutes show their first two digits.
    EXPECT_EQ(PlayerDialog::trackTimeText(3, 123 * 60 + 4, 1), "03 12:04");
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
