#include <gtest/gtest.h>

#include <string>

#include "ui/FakeViews.h"
#include "ui/PlayerDialog.h"

namespace quoril::test {
namespace {

std::string padded(const std::string& text, size_t characters) {
    return text + std::string(48 - characters, ' ');
}
std::string repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

TEST(ListLine, IsNumberMinutesSecondsAndTitleInFortyEightCharactersNeverSplittingOne) {
    const std::string nihongo = "\u65e5\u672c\u8a9e";  // three characters, nine bytes
    const std::string smile = "\U0001F600";            // one character, four bytes
    const struct {
        int row;
        int32_t frames;
        double rate;
        std::string title;
        std::string line;
        bool cut;
    } cases[] = {
        {0, 185 * 44100, 44100.0, "Intro", padded("01 03:05 Intro", 14), false},
        {9, 59 * 48000 + 47999, 48000.0, "B", padded("10 00:59 B", 10), false},
        {1, 90 * 44100, 44100.0, std::string(60, 'x'), "02 01:30 " + std::string(39, 'x'), true},
        {1, 90 * 44100, 44100.0, std::string(39, 'x'), "02 01:30 " + std::string(39, 'x'), false},
        // The seconds are the whole part of the fraction of a minute times 60, in floating point:
        // 61 s comes out just below 1.
        {4, 61 * 44100, 44100.0, "S", padded("05 01:00 S", 10), false},
        {2, 0, 44100.0, "", padded("03 00:00", 8), false},
        {0, 6000 * 8000, 8000.0, "Long", padded("01 100:00 Long", 14), false},
        // UTF-8 titles are counted, padded and cut in characters.
        {0, 185 * 44100, 44100.0, nihongo, padded("01 03:05 " + nihongo, 12), false},
        {1, 90 * 44100, 44100.0, "x" + repeat(nihongo, 20),
         "02 01:30 x" + repeat(nihongo, 12) + "\u65e5\u672c", true},
        {1, 90 * 44100, 44100.0, std::string(38, 'a') + smile + "b",
         "02 01:30 " + std::string(38, 'a') + smile, true},
        {1, 90 * 44100, 44100.0, std::string(39, 'a') + smile, "02 01:30 " + std::string(39, 'a'), true},
        // Bytes that are not UTF-8 (a Latin-1 sheet, a sequence broken off) count one each.
        {1, 90 * 44100, 44100.0, "caf\xe9 " + std::string(40, 'x'),
         "02 01:30 caf\xe9 " + std::string(34, 'x'), true},
        {1, 90 * 44100, 44100.0, "\xe6\x97" + nihongo, padded("02 01:30 \xe6\x97" + nihongo, 14), false},
    };
    for (const auto& c : cases) {
        bool cut = !c.cut;
        EXPECT_EQ(PlayerDialog::listLine(c.row, c.frames, c.rate, c.title, &cut), c.line) << c.title;
        EXPECT_EQ(cut, c.cut) << c.title;
    }
}

TEST(CommandLine, APathInDoubleQuotesLosesThemAndALongOneIsCutOnACharacter) {
    FakePlayerView view;
    EXPECT_EQ(PlayerDialog(view, "\"/music/a b.cue\"").contentPath(), "/music/a b.cue");
    EXPECT_EQ(PlayerDialog(view, "/a" + repeat("\u00e9", 600)).contentPath(), "/a" + repeat("\u00e9", 517));
}

}  // namespace
}  // namespace quoril::test
