#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "ContentTestSupport.h"
#include "platform/CFormat.h"

namespace quoril::test {
namespace {

std::string fileLine(const std::string& name) {
    return "FILE \"" + name + "\" WAVE\n";
}
std::string trackLines(int number, const std::string& index) {
    return cformat("  TRACK %02d AUDIO\n    INDEX 01 ", number) + index + "\n";
}

// A sheet over generated 16-bit files, the track table it must give ("start+length@file" and the
// quoted title of each row; empty when the sheet is refused) and its open log. In the log the
// temporary directory, the source line and disc lines that are all "Unknown" are left out, CR LF
// is written "|" and each file's validation lines are folded into "[path]".
struct SheetCase {
    std::string name;
    std::vector<std::pair<std::string, int>> files;
    std::string sheet;  // "<dir>" stands for the directory of the files
    std::string table;
    std::string log;
};

// Files a.wav, b.wav, ... of these lengths.
std::vector<std::pair<std::string, int>> files(std::vector<int> frames) {
    std::vector<std::pair<std::string, int>> named;
    for (int length : frames) {
        named.emplace_back(std::string(1, static_cast<char>('a' + named.size())) + ".wav", length);
    }
    return named;
}

std::string ram(int megabytes) {
    return cformat("|     RAM allocation (%dMB) successful|", megabytes);
}
const std::string kDropped =
    "|\tWav file is smaller than cue file track details. Tracks truncated to match wav file.|\t\tIgnoring "
    "track ";

std::string normalisedLog(std::string text, const std::string& dir) {
    text = std::regex_replace(text, std::regex(dir), "");  // a plain path: letters, digits, '/', '-', '_'
    text = std::regex_replace(text, std::regex("\r\n     FILE: ([^\r]*)\r\n(\t[^\r]*\r\n)*"), "[$1]");
    text = std::regex_replace(text, std::regex("\r\n"), "|");
    return std::regex_replace(text,
                              std::regex("^AUDIO source \\[ /disc.cue \\]\\|(\tGenre = Unknown\\|\tArtist = "
                                         "Unknown\\|\tAlbum = Unknown\\|)?"),
                              "");
}

// A sheet in UTF-16 with its byte-order mark.
std::string utf16(const std::u16string& text) {
    std::string bytes = "\xFE\xFF";  // big-endian
    for (char16_t u : text) {
        bytes += {char(u >> 8), char(u & 0xFF)};
    }
    return bytes;
}

class CueSheetTest : public ContentTest, public ::testing::WithParamInterface<SheetCase> {};

TEST_P(CueSheetTest, SheetGivesExactlyThisTrackTableAndLog) {
    const SheetCase& c = GetParam();
    for (size_t f = 0; f < c.files.size(); ++f) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(c.files[f].first)).parent_path());
        wav(c.files[f].first, static_cast<size_t>(c.files[f].second), 16, 44100,
            static_cast<uint32_t>(f + 1));
    }
    CdDescriptor& d = open(cue("disc.cue", std::regex_replace(c.sheet, std::regex("<dir>"), dir.path())));
    std::string table;
    for (int row = 0; d.active && row < d.trackCount; ++row) {
        table += cformat("%s%d+%d@%d", row > 0 ? " " : "", d.trackStart[row], d.trackLength[row],
                         d.trackFile[row]);
        table += d.trackTitle[row].empty() ? "" : "\"" + d.trackTitle[row] + "\"";
    }
    EXPECT_EQ(table, c.table);
    EXPECT_EQ(normalisedLog(openText(), dir.path()), c.log);
}

const std::string kOne = fileLine("a.wav") + trackLines(1, "00:00:00");
const std::string kUnknown = "\tGenre = Unknown|\tArtist = Unknown|\tAlbum = ";

// Sheets in the standard layout, which column-exact reading has always read this way.
std::vector<SheetCase> standardSheets() {
    const std::string a = fileLine("a.wav");
    const std::string b = fileLine("b.wav");
    std::string title(200, 'x');  // and 100 characters of two bytes: cut after 255 characters, not bytes
    for (int i = 0; i < 100; ++i) {
        title += "\u00e9";
    }
    return {
        {"FirstTrackOfEachFileStartsAtTheFileStart", files({441000, 441000}),
         a + trackLines(1, "00:02:00") + trackLines(2, "00:05:00") + "    INDEX 02 00:06:00\n" + b +
             trackLines(3, "00:03:00"),
         "0+220500@0 220500+220500@0 441000+441000@1", "[/a.wav][/b.wav]" + ram(4)},
        {"RipperSheetWithCrLfAndExtraLines", files({44100 * 12}),
         "REM GENRE \"Chamber Music\"\r\nREM DATE 1998\r\nREM COMMENT \"ripper v1.6\"\r\n"
         "CATALOG 0724355652423\r\nPERFORMER \"The Quartet\"\r\nTITLE \"Late Works\"\r\n"
         "FILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Grave\"\r\n    ISRC GBAYE9800001\r\n"
         "    FLAGS DCP\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n"
         "    TITLE \"Allegro, ma non troppo\"\r\n    SONGWRITER \"Someone\"\r\n    PREGAP 00:02:00\r\n"
         "    INDEX 00 00:03:70\r\n    INDEX 01 00:04:00\r\n  TRACK 03 AUDIO\r\n    TITLE \"Finale\"\r\n"
         "    INDEX 01 00:08:37\r\n    POSTGAP 00:01:00\r\n",
         "0+173460@0\"Grave\" 173460+201096@0\"Allegro, ma non troppo\" 374556+154644@0\"Finale\"",
         "\tGenre = Chamber Music|\tArtist = The Quartet|\tAlbum = Late Works|[/a.wav]" + ram(3)},
        {"TrackLessThanASecondBeforeTheEndIsDroppedWithTheTracksAfterIt", files({44100 * 5, 44100 * 3}),
         a + trackLines(1, "00:00:00") + trackLines(2, "00:02:00") + trackLines(3, "00:04:08") +
             trackLines(4, "00:04:50") + "  TRACK 05 AUDIO\n" + b + trackLines(6, "00:00:00"),
         "0+88200@0 88200+132300@0 220500+132300@1",
         "[/a.wav]" + kDropped + "3|\t\tIgnoring track 4|\t\tIgnoring track 5|[/b.wav]" + ram(2)},
        {"TitleIsCutTo255CharactersAndATitleBeforeAnyTrackIsIgnored", files({44100 * 3}),
         a + "    TITLE \"Before\"\n  TRACK 01 AUDIO\n    TITLE \"" + title + "\"\n    INDEX 01 00:00:00\n",
         "0+132300@0\"" + title.substr(0, 200 + 2 * 55) + "\"", "[/a.wav]" + ram(1)},
        {"DiscLinesBeforeTheFirstFileAndTheLaterTitleLineWins", files({44100 * 3}),
         "REM GENRE \"Free Jazz\"\nPERFORMER \"Trio\"\nTITLE \"One\"\nTITLE \"Two\"\n" + kOne +
             "PERFORMER \"After\"\n",
         "0+132300@0", "\tGenre = Free Jazz|\tArtist = Trio|\tAlbum = Two|[/a.wav]" + ram(1)},
        {"OneFrameLessIsRefused", files({44100, 44099}), kOne + fileLine("b.wav") + trackLines(2, "00:00:00"),
         "", "[/a.wav][/b.wav]|At least 2 or more seconds of sound data is needed. Wav file is too small.|"},
        {"LowerCaseFileKeywordLeavesTheSheetWithoutAFile", files({441000}),
         "TITLE \"Album\"\nfile \"a.wav\" WAVE\n" + trackLines(1, "00:00:00"), "",
         "|Content file NOT found!|" + kUnknown +
             "Album||Cue file does not contain a FILE directive (.wav or .flac).|"},
        {"RelativeNamesTakeTheSheetsDirectoryWithBackslashesAsSeparators",
         {{"sub/a.wav", 44100 * 3}, {"b.wav", 44100 * 3}},
         fileLine("sub\\a.wav") + trackLines(1, "00:00:00") + fileLine("<dir>/b.wav") +
             trackLines(2, "00:00:00"),
         "0+132300@0 132300+132300@1",
         "[/sub/a.wav][/b.wav]" + ram(2)},
        {"UnsupportedLaterFile", files({441000}), kOne + "FILE \"c.mp3\" MP3\n", "",
         "[/a.wav]|Content file '/c.mp3' NOT supported (only WAV or FLAC supported).|"},
        {"UnsupportedFirstFile", files({441000}), "FILE \"c.mp3\" MP3\n", "",
         "|Content file NOT supported (only WAV or FLAC supported).|" + kUnknown + "Unknown|"},
        {"IndexGoingBack", files({441000}), kOne + trackLines(2, "00:03:00") + trackLines(3, "00:02:00"), "",
         "[/a.wav]|\tInvalid track details in cue file.|"},
        {"FileAfterFileBeforeAnyTrack", files({441000, 441000}), a + b + a + trackLines(1, "00:00:00"), "",
         "[/a.wav][/b.wav]|A problem was encountered after track 0.|Cue contains FILE directive at incorrect "
         "location, 'TRACK' information expected.|"},
        // The position is ((60 mm + ss) 75 + ff) rate / 75 in whole numbers: the same sum in floating
        // point lands one frame early.
        {"IndexAt23Of75", files({101724}), kOne + trackLines(2, "00:00:23"), "0+13524@0 13524+88200@0",
         "[/a.wav]" + ram(1)},
    };
}

INSTANTIATE_TEST_SUITE_P(Standard, CueSheetTest, ::testing::ValuesIn(standardSheets()),
                         [](const auto& info) { return info.param.name; });

// Sheets as ripping programs and people write them beyond the standard layout.
std::vector<SheetCase> otherLayouts() {
    const std::u16string russian =
        u"PERFORMER \"Ансамбль песни и пляски\"\r\nTITLE \"Зимняя дорога\"\r\nFILE \"a.wav\" WAVE\r\n"
        u"  TRACK 01 AUDIO\r\n    TITLE \"Вьюга над полем\"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n"
        u"    TITLE \"Ночная тишина\"\r\n    INDEX 01 00:05:00\r\n";
    const std::string russianTable = "0+220500@0\"Вьюга над полем\" 220500+220500@0\"Ночная тишина\"";
    const std::string russianLog =
        "\tGenre = Unknown|\tArtist = Ансамбль песни и пляски|\tAlbum = Зимняя дорога|[/a.wav]";
    return {
        // One file per track, the gaps appended to the previous file: track 2's pregap starts 0.6 s
        // before the end of a.wav; b.wav continues track 2.
        {"GapsAppendedEveryTrackWithAPregap", files({44100 * 5, 44100 * 4, 44100 * 3}),
         "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
         "    TITLE \"Two\"\n    INDEX 00 00:04:30\nFILE \"b.wav\" WAVE\n    INDEX 01 00:00:00\n  TRACK 03 "
         "AUDIO\n"
         "    TITLE \"Three\"\n    INDEX 00 00:03:00\nFILE \"c.wav\" WAVE\n    INDEX 01 00:00:00\n",
         "0+194040@0\"One\" 194040+158760@0\"Two\" 352800+176400@1\"Three\"",
         "[/a.wav][/b.wav][/c.wav]" + ram(3)},
        {"FileAfterFileRunsTheTrackOn", files({44100, 22050, 22050}),
         kOne + fileLine("b.wav") + fileLine("c.wav") + trackLines(2, "00:00:00"), "0+66150@0 66150+22050@2",
         "[/a.wav][/b.wav][/c.wav]" + ram(1)},
        {"IndentedWithTabsEightSpacesThreeSpacesAndNone", files({441000, 44100 * 3}),
         "FILE \"a.wav\" WAVE\n   TRACK 01 AUDIO\n        TITLE \"One\"\n\t\tINDEX 01 00:00:00\n"
         "TRACK 02 AUDIO\nTITLE \"Two\"\nINDEX 01 00:05:00\n  FILE \"b.wav\" WAVE\n\tTRACK 03 AUDIO\n"
         "        INDEX 01 00:00:00\n",
         "0+220500@0\"One\" 220500+220500@0\"Two\" 441000+132300@1", "[/a.wav][/b.wav]" + ram(3)},
        {"DataTrackAndDataFileAreNotPartOfTheDisc", files({441000}),
         "FILE \"boot.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
         "FILE \"a.wav\" WAVE\n  TRACK 02 AUDIO\n    TITLE \"Song\"\n    INDEX 01 00:00:00\n"
         "  TRACK 03 MODE1/2352\n    TITLE \"Data\"\n    INDEX 01 00:03:00\n  TRACK 04 AUDIO\n"
         "    TITLE \"Hidden\"\n    INDEX 01 00:05:00\nFILE \"extra.bin\" MOTOROLA\n  TRACK 05 MODE2/2352\n"
         "    INDEX 01 00:00:00\n",
         "0+220500@0\"Song\" 220500+220500@0\"Hidden\"", "[/a.wav]" + ram(2)},
        {"Utf16", files({441000}), utf16(russian), russianTable, russianLog + ram(2)},
        {"Windows1251AndItsFileNames",
         {{"\xC4\xEE\xEC.wav", 44100 * 3}, {"Ночь.wav", 44100 * 3}},
         "PERFORMER \"\xC0\xED\xF1\xE0\xEC\xE1\xEB\xFC \xEF\xE5\xF1\xED\xE8 \xE8 \xEF\xEB\xFF\xF1\xEA\xE8\"\n"
         "FILE \"\xC4\xEE\xEC.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "FILE \"\xCD\xEE\xF7\xFC.wav\" WAVE\n  TRACK 02 AUDIO\n"
         "    TITLE \"\xCD\xEE\xF7\xED\xE0\xFF \xF2\xE8\xF8\xE8\xED\xE0\"\n    INDEX 01 00:00:00\n",
         "0+132300@0 132300+132300@1\"Ночная тишина\"",
         "\tGenre = Unknown|\tArtist = Ансамбль песни и пляски|\tAlbum = Unknown|[/Дом.wav][/Ночь.wav]" +
             ram(2)},
    };
}

INSTANTIATE_TEST_SUITE_P(Layouts, CueSheetTest, ::testing::ValuesIn(otherLayouts()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quoril::test
