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
// quoted title of each row; empty when the sheet is refused) and its open log, in which the
// temporary directory is left out, CR LF is written "|" and each file's validation lines are
// folded into "[path]".
struct SheetCase {
    std::string name;
    std::vector<std::pair<std::string, int>> files;
    std::string sheet;  // "<dir>" stands for the directory of the files
    std::string table;
    std::string log;
    uint32_t rate = 44100;
};

void PrintTo(const SheetCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::pair<std::string, int>> files(std::vector<int> frames) {
    std::vector<std::pair<std::string, int>> named;
    for (size_t f = 0; f < frames.size(); ++f) {
        named.emplace_back(std::string(1, static_cast<char>('a' + f)) + ".wav", frames[f]);
    }
    return named;
}

// The log of an accepted sheet without disc lines.
std::string plainLog(const std::string& files, int megabytes, const std::string& tracks = "") {
    return "AUDIO source [ /disc.cue ]|\tGenre = Unknown|\tArtist = Unknown|\tAlbum = Unknown|" + files +
           tracks + cformat("|     RAM allocation (%dMB) successful|", megabytes);
}
const std::string kDropped =
    "|\tWav file is smaller than cue file track details. Tracks truncated to match wav file.|\t\tIgnoring "
    "track ";

std::string normalisedLog(std::string text, const std::string& dir) {
    for (size_t at; (at = text.find(dir)) != std::string::npos;) {
        text.erase(at, dir.size());
    }
    text = std::regex_replace(text, std::regex("\r\n     FILE: ([^\r]*)\r\n(\t[^\r]*\r\n)*"), "[$1]");
    return std::regex_replace(text, std::regex("\r\n"), "|");
}

// A sheet in UTF-16 with its byte-order mark.
std::string utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

class CueSheetTest : public ContentTest, public ::testing::WithParamInterface<SheetCase> {};

TEST_P(CueSheetTest, SheetGivesExactlyThisTrackTableAndLog) {
    const SheetCase& c = GetParam();
    int64_t total = 0;
    for (size_t f = 0; f < c.files.size(); ++f) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(c.files[f].first)).parent_path());
        wav(c.files[f].first, static_cast<size_t>(c.files[f].second), 16, c.rate,
            static_cast<uint32_t>(f + 1));
        total += c.files[f].second;
    }
    CdDescriptor& d = open(cue("disc.cue", std::regex_replace(c.sheet, std::regex("<dir>"), dir.path())));
    std::string table;
    for (int row = 0; d.active && row < d.trackCount; ++row) {
        table += cformat("%s%d+%d@%d\"", row > 0 ? " " : "", d.trackStart[row], d.trackLength[row],
                         d.trackFile[row]) +
                 d.trackTitle[row] + "\"";
    }
    EXPECT_EQ(table, c.table);
    EXPECT_EQ(normalisedLog(openText(), dir.path()), c.log);
    if (d.active) {
        EXPECT_EQ(d.frameCount, total);
        EXPECT_EQ(d.byteCount, total * 4 + CdDescriptor::kTailBytes);
    }
}

// The position is ((60 mm + ss) 75 + ff) rate / 75 in whole numbers: the same sum in floating
// point lands one frame early for several of these.
SheetCase indexCase(const std::string& name, const std::string& time, uint32_t rate, int32_t start) {
    const int total = start + 2 * static_cast<int>(rate);
    return {name,
            files({total}),
            fileLine("a.wav") + trackLines(1, "00:00:00") + trackLines(2, time),
            cformat("0+%d@0\"\" %d+%d@0\"\"", start, start, total - start),
            plainLog("[/a.wav]", rate == 96000 ? 2 : 1),
            rate};
}

// `count` tracks two seconds apart in one 250-second file at 1,000 Hz.
SheetCase manyTracksCase(const std::string& name, int count, const std::string& message) {
    SheetCase c{name, files({250000}), fileLine("a.wav"), "", plainLog("[/a.wav]", 2, message), 1000};
    for (int t = 1; t <= count; ++t) {
        c.sheet += cformat("  TRACK %02d AUDIO\n    TITLE \"T%d\"\n    INDEX 01 %02d:%02d:00\n", t, t,
                           (2 * (t - 1)) / 60, (2 * (t - 1)) % 60);
        if (t <= CdDescriptor::kMaxTracks) {
            const int start = 2000 * (t - 1);
            const bool last = t == std::min(count, CdDescriptor::kMaxTracks);
            c.table += cformat("%s%d+%d@0\"T%d\"", t > 1 ? " " : "", start, last ? 250000 - start : 2000, t);
        }
    }
    return c;
}

const std::string kOne = fileLine("a.wav") + trackLines(1, "00:00:00");
const std::string kNoHeader =
    "AUDIO source [ /disc.cue ]|\tGenre = Unknown|\tArtist = Unknown|\tAlbum = Unknown|";
const std::string kInvalid = kNoHeader + "[/a.wav]|\tInvalid track details in cue file.|";

// Sheets in the layout that column-exact reading has always accepted or refused: their tables and
// logs are what they were before the reader learned the other layouts.
std::vector<SheetCase> standardSheets() {
    const std::string a = fileLine("a.wav");
    const std::string b = fileLine("b.wav");
    const std::string longTitle = "A" + std::string(299, 'x');
    return {
        {"TwoFilesCountFromTheFirstFile", files({441000, 882000}),
         a + trackLines(1, "00:00:00") + trackLines(2, "00:05:00") + b + trackLines(3, "00:00:00"),
         "0+220500@0\"\" 220500+220500@0\"\" 441000+882000@1\"\"", plainLog("[/a.wav][/b.wav]", 6)},
        {"FirstTrackOfEachFileStartsAtTheFileStart", files({441000, 441000}),
         a + trackLines(1, "00:02:00") + trackLines(2, "00:05:00") + b + trackLines(3, "00:03:00"),
         "0+220500@0\"\" 220500+220500@0\"\" 441000+441000@1\"\"", plainLog("[/a.wav][/b.wav]", 4)},
        {"PregapStartsAtIndexZeroAndLaterIndexesAreIgnored", files({441000}),
         a + "  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:32\n  TRACK 02 AUDIO\n"
             "    INDEX 00 00:04:00\n    INDEX 01 00:05:00\n    INDEX 02 00:06:00\n",
         "0+176400@0\"\" 176400+264600@0\"\"", plainLog("[/a.wav]", 2)},
        {"RipperSheetWithCrLfAndExtraLines", files({44100 * 12}),
         "REM GENRE \"Chamber Music\"\r\nREM DATE 1998\r\nREM COMMENT \"ripper v1.6\"\r\n"
         "CATALOG 0724355652423\r\nPERFORMER \"The Quartet\"\r\nTITLE \"Late Works\"\r\n"
         "FILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Grave\"\r\n    ISRC GBAYE9800001\r\n"
         "    FLAGS DCP\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n"
         "    TITLE \"Allegro, ma non troppo\"\r\n    SONGWRITER \"Someone\"\r\n    PREGAP 00:02:00\r\n"
         "    INDEX 00 00:03:70\r\n    INDEX 01 00:04:00\r\n  TRACK 03 AUDIO\r\n    TITLE \"Finale\"\r\n"
         "    INDEX 01 00:08:37\r\n    POSTGAP 00:01:00\r\n",
         // 00:03:70 and 00:08:37: 295 and 637 CD frames of 588
         "0+173460@0\"Grave\" 173460+201096@0\"Allegro, ma non troppo\" 374556+154644@0\"Finale\"",
         "AUDIO source [ /disc.cue ]|\tGenre = Chamber Music|\tArtist = The Quartet|\tAlbum = Late "
         "Works|[/a.wav]|"
         "     RAM allocation (3MB) successful|"},
        {"OneFilePerTrack", files({44100 * 3, 44100 * 4, 44100 * 5}),
         "FILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\nFILE \"b.wav\" WAVE\r\n"
         "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:00:33\r\n"
         "FILE \"c.wav\" WAVE\r\n  TRACK 03 AUDIO\r\n    INDEX 01 00:00:00\r\n",
         "0+132300@0\"\" 132300+176400@1\"Two\" 308700+220500@2\"\"",
         plainLog("[/a.wav][/b.wav][/c.wav]", 3)},
        {"TrackLessThanASecondBeforeTheEndIsDroppedWithTheTracksAfterIt", files({44100 * 5, 44100 * 3}),
         a + trackLines(1, "00:00:00") + trackLines(2, "00:02:00") + trackLines(3, "00:04:08") +
             trackLines(4, "00:04:50") + "  TRACK 05 AUDIO\n" + b + trackLines(6, "00:00:00"),
         "0+88200@0\"\" 88200+132300@0\"\" 220500+132300@1\"\"",
         plainLog("[/a.wav]" + kDropped + "3|\t\tIgnoring track 4|\t\tIgnoring track 5|[/b.wav]", 2)},
        {"TrackExactlyOneSecondBeforeTheEndIsDropped", files({44100 * 5}),
         a + trackLines(1, "00:00:00") + trackLines(2, "00:04:00"), "0+220500@0\"\"",
         plainLog("[/a.wav]" + kDropped + "2|", 1)},
        {"TrackOneFrameMoreThanASecondBeforeTheEndIsKept", files({44100 * 5 + 1}),
         a + trackLines(1, "00:00:00") + trackLines(2, "00:04:00"), "0+176400@0\"\" 176400+44101@0\"\"",
         plainLog("[/a.wav]", 1)},
        {"TitleIsCutTo255CharactersAndATitleBeforeAnyTrackIsIgnored", files({44100 * 3}),
         a + "    TITLE \"Before\"\n  TRACK 01 AUDIO\n    TITLE \"" + longTitle +
             "\"\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"Last\"\n    INDEX 01 00:01:00\n",
         "0+44100@0\"" + longTitle.substr(0, 255) + "\" 44100+88200@0\"Last\"", plainLog("[/a.wav]", 1)},
        {"HeaderLinesAfterTheFirstFileAreNotSeen", files({44100 * 3}),
         "REM GENRE Jazz\nPERFORMER \"Trio\"\nTITLE \"Live\"\n" + kOne + "PERFORMER \"After the file\"\n",
         "0+132300@0\"\"",
         "AUDIO source [ /disc.cue ]|\tGenre = Jazz|\tArtist = Trio|\tAlbum = Live|[/a.wav]|     RAM "
         "allocation "
         "(1MB) successful|"},
        {"QuotedGenreAndTheLaterTitleLineWins", files({44100 * 3}),
         "REM GENRE \"Free Jazz\"\nTITLE \"One\"\nTITLE \"Two\"\n" + kOne, "0+132300@0\"\"",
         "AUDIO source [ /disc.cue ]|\tGenre = Free Jazz|\tArtist = Unknown|\tAlbum = Two|[/a.wav]|     RAM "
         "allocation (1MB) successful|"},
        {"LowerCaseUnquotedAndEmptyHeaderValuesAreUnknown", files({44100 * 3}),
         "title \"One\"\nperformer \"x\"\nREM GENRE\nTITLE Live\n" + kOne, "0+132300@0\"\"",
         plainLog("[/a.wav]", 1)},
        {"NoBlankBeforeTheQuoteAndAByteOrderMark", files({44100 * 3}),
         "\xEF\xBB\xBFPERFORMER\"S\xC3\xA9verine\"\r\n" + kOne, "0+132300@0\"\"",
         "AUDIO source [ /disc.cue ]|\tGenre = Unknown|\tArtist = Séverine|\tAlbum = Unknown|[/a.wav]|     "
         "RAM "
         "allocation (1MB) successful|"},
        {"LowerCaseFileKeywordLeavesTheSheetWithoutAFile", files({441000}),
         "TITLE \"Album\"\nfile \"a.wav\" WAVE\n" + trackLines(1, "00:00:00"), "",
         "AUDIO source [ /disc.cue ]||Content file NOT found!|\tGenre = Unknown|\tArtist = Unknown|\tAlbum = "
         "Album||Cue file does not contain a FILE directive (.wav or .flac).|"},
        {"RelativeNamesTakeTheSheetsDirectoryWithBackslashesAsSeparators",
         {{"sub/a.wav", 44100 * 3}, {"b.wav", 44100 * 3}},
         fileLine("sub\\a.wav") + trackLines(1, "00:00:00") + fileLine("<dir>/b.wav") +
             trackLines(2, "00:00:00"),
         "0+132300@0\"\" 132300+132300@1\"\"",
         plainLog("[/sub/a.wav][/b.wav]", 2)},
        {"DriveLetterNameIsUsedUnchanged", files({441000}),
         fileLine("C:\\music\\a.wav") + "  TRACK 01 AUDIO\n", "",
         kNoHeader + "[C:\\music\\a.wav]|Wav file NOT found!|"},
        {"FileWithoutName", files({441000}), kOne + "FILE b.wav\n", "",
         kNoHeader + "[/a.wav]|FILE directive contains NO or invalid file name.|"},
        {"UnsupportedLaterFile", files({441000}), kOne + "FILE \"c.mp3\" MP3\n", "",
         kNoHeader + "[/a.wav]|Content file '/c.mp3' NOT supported (only WAV or FLAC supported).|"},
        {"UnsupportedFirstFile", files({441000}), "FILE \"c.mp3\" MP3\n", "",
         "AUDIO source [ /disc.cue ]||Content file NOT supported (only WAV or FLAC supported).|\tGenre = "
         "Unknown|\tArtist = Unknown|\tAlbum = Unknown|"},
        {"MissingLaterFile", files({441000}), kOne + fileLine("gone.wav"), "",
         kNoHeader + "[/a.wav][/gone.wav]|Wav file NOT found!|"},
        {"IndexWithLetters", files({441000}), kOne + trackLines(2, "00:0x:00"), "", kInvalid},
        {"IndexTooShort", files({441000}), kOne + trackLines(2, "00:01"), "", kInvalid},
        {"TrackWithoutIndex", files({441000}), kOne + "  TRACK 02 AUDIO\n" + trackLines(3, "00:02:00"), "",
         kInvalid},
        {"IndexGoingBack", files({441000}), kOne + trackLines(2, "00:03:00") + trackLines(3, "00:02:00"), "",
         kInvalid},
        {"FileAfterFileBeforeAnyTrack", files({441000, 441000}), a + b + a + trackLines(1, "00:00:00"), "",
         kNoHeader +
             "[/a.wav][/b.wav]|A problem was encountered after track 0.|Cue contains FILE directive at "
             "incorrect location, 'TRACK' information expected.|"},
        manyTracksCase("NinetyNineTracks", 99, ""),
        manyTracksCase("MoreThanAHundredTracksFillTheTable", 120,
                       "|\tCue file has more than 100 tracks; the rest is ignored.|"),
        indexCase("IndexAt23Of75", "00:00:23", 44100, 13524),
        indexCase("IndexAt47Of75", "00:00:47", 44100, 27636),
        indexCase("IndexAt03_25_74", "03:25:74", 1000, 205986),
        indexCase("IndexAt48000", "00:01:01", 48000, 48640),
        indexCase("IndexAt96000", "00:01:74", 96000, 190720),
        indexCase("IndexOfOneCdFrame", "00:00:01", 44100, 588),
    };
}

INSTANTIATE_TEST_SUITE_P(Standard, CueSheetTest, ::testing::ValuesIn(standardSheets()),
                         [](const auto& info) { return info.param.name; });

// Sheets as ripping programs and people write them beyond the standard layout.
std::vector<SheetCase> otherLayouts() {
    // One file per track, the gaps appended to the previous file: track 2's pregap starts 0.6 s
    // before the end of a.wav; b.wav continues track 2 until track 3's pregap at 3 s into it.
    const std::string gaps =
        "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 00 00:04:30\n"
        "FILE \"b.wav\" WAVE\n    INDEX 01 00:00:00\n";
    const std::string russian =
        "PERFORMER \"Ансамбль песни и пляски\"\r\nTITLE \"Зимняя дорога\"\r\n"
        "FILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Вьюга над полем\"\r\n"
        "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE \"Ночная тишина\"\r\n"
        "    INDEX 01 00:05:00\r\n";
    const std::string russianTable = "0+220500@0\"Вьюга над полем\" 220500+220500@0\"Ночная тишина\"";
    const std::string russianLog =
        "AUDIO source [ /disc.cue ]|\tGenre = Unknown|\tArtist = Ансамбль песни и "
        "пляски|\tAlbum = Зимняя дорога|[/a.wav]|     RAM allocation (2MB) successful|";
    const std::u16string russian16 =
        u"PERFORMER \"Ансамбль песни и пляски\"\r\nTITLE \"Зимняя дорога\"\r\nFILE \"a.wav\" WAVE\r\n"
        u"  TRACK 01 AUDIO\r\n    TITLE \"Вьюга над полем\"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n"
        u"    TITLE \"Ночная тишина\"\r\n    INDEX 01 00:05:00\r\n";
    return {
        {"GapsAppendedEveryTrackWithAPregap", files({44100 * 5, 44100 * 4, 44100 * 3}),
         gaps + "  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 00 00:03:00\n"
                "FILE \"c.wav\" WAVE\n    INDEX 01 00:00:00\n",
         "0+194040@0\"One\" 194040+158760@0\"Two\" 352800+176400@1\"Three\"",
         plainLog("[/a.wav][/b.wav][/c.wav]", 3)},
        {"GapsAppendedAndTrackThreeWithoutPregap", files({44100 * 5, 44100 * 4, 44100 * 3}),
         gaps + "FILE \"c.wav\" WAVE\n  TRACK 03 AUDIO\n    TITLE \"Three\"\n    INDEX 01 00:00:00\n",
         "0+194040@0\"One\" 194040+202860@0\"Two\" 396900+132300@2\"Three\"",
         plainLog("[/a.wav][/b.wav][/c.wav]", 3)},
        {"PregapAtTheEndOfItsFileIsDropped", files({44100 * 5, 44100 * 3}),
         kOne + "  TRACK 02 AUDIO\n    INDEX 00 00:05:00\nFILE \"b.wav\" WAVE\n    INDEX 01 00:00:00\n",
         "0+352800@0\"\"", plainLog("[/a.wav]" + kDropped + "2|[/b.wav]", 2)},
        {"FileAfterFileRunsTheTrackOn", files({44100 * 2, 44100 * 3, 44100 * 4}),
         kOne + fileLine("b.wav") + fileLine("c.wav") + trackLines(2, "00:00:00"),
         "0+220500@0\"\" 220500+176400@2\"\"", plainLog("[/a.wav][/b.wav][/c.wav]", 2)},
        {"IndentedWithTabs", files({441000}),
         "FILE \"a.wav\" WAVE\n\tTRACK 01 AUDIO\n\t\tTITLE \"One\"\n\t\tINDEX 01 00:00:00\n\tTRACK 02 AUDIO\n"
         "\t\tTITLE \"Two\"\n\t\tINDEX 01 00:05:00\n",
         "0+220500@0\"One\" 220500+220500@0\"Two\"", plainLog("[/a.wav]", 2)},
        {"IndentedWithEightSpacesThreeSpacesAndNone", files({441000, 44100 * 3}),
         "FILE \"a.wav\" WAVE\n   TRACK 01 AUDIO\n        TITLE \"One\"\n        INDEX 01 00:00:00\n"
         "TRACK 02 AUDIO\nTITLE \"Two\"\nINDEX 01 00:05:00\n  FILE \"b.wav\" WAVE\n        TRACK 03 AUDIO\n"
         "        INDEX 01 00:00:00\n",
         "0+220500@0\"One\" 220500+220500@0\"Two\" 441000+132300@1\"\"", plainLog("[/a.wav][/b.wav]", 3)},
        {"DataTrackAndDataFileAreNotPartOfTheDisc", files({441000}),
         "FILE \"boot.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n"
         "FILE \"a.wav\" WAVE\n  TRACK 02 AUDIO\n    TITLE \"Song\"\n    INDEX 01 00:00:00\n"
         "  TRACK 03 MODE1/2352\n    TITLE \"Data\"\n    INDEX 01 00:03:00\n  TRACK 04 AUDIO\n"
         "    TITLE \"Hidden\"\n    INDEX 01 00:05:00\nFILE \"extra.bin\" MOTOROLA\n  TRACK 05 MODE2/2352\n"
         "    INDEX 01 00:00:00\n",
         "0+220500@0\"Song\" 220500+220500@0\"Hidden\"", plainLog("[/a.wav]", 2)},
        {"OnlyDataFiles", files({441000}), "FILE \"data.bin\" BINARY\n  TRACK 01 MODE1/2352\n", "",
         "AUDIO source [ /disc.cue ]||Content file NOT found!|\tGenre = Unknown|\tArtist = Unknown|\tAlbum = "
         "Unknown||Cue file does not contain a FILE directive (.wav or .flac).|"},
        {"Utf16LittleEndian", files({441000}), utf16(russian16, false), russianTable, russianLog},
        {"Utf16BigEndian", files({441000}), utf16(russian16, true), russianTable, russianLog},
        {"Windows1251", files({441000}),
         "PERFORMER \"\xC0\xED\xF1\xE0\xEC\xE1\xEB\xFC \xEF\xE5\xF1\xED\xE8 \xE8 "
         "\xEF\xEB\xFF\xF1\xEA\xE8\"\r\n"
         "TITLE \"\xC7\xE8\xEC\xED\xFF\xFF \xE4\xEE\xF0\xEE\xE3\xE0\"\r\nFILE \"a.wav\" WAVE\r\n  TRACK 01 "
         "AUDIO\r\n"
         "    TITLE \"\xC2\xFC\xFE\xE3\xE0 \xED\xE0\xE4 \xEF\xEE\xEB\xE5\xEC\"\r\n    INDEX 01 00:00:00\r\n"
         "  TRACK 02 AUDIO\r\n    TITLE \"\xCD\xEE\xF7\xED\xE0\xFF \xF2\xE8\xF8\xE8\xED\xE0\"\r\n"
         "    INDEX 01 00:05:00\r\n",
         russianTable, russianLog},
        {"Windows1252", files({441000}),
         "PERFORMER \"Caf\xE9 M\xFCller\"\r\nTITLE \"Se\xF1ora A\xF1o\"\r\nFILE \"a.wav\" WAVE\r\n"
         "  TRACK 01 AUDIO\r\n    TITLE \"F\xFCr Elise\"\r\n    INDEX 01 00:00:00\r\n",
         "0+441000@0\"Für Elise\"",
         "AUDIO source [ /disc.cue ]|\tGenre = Unknown|\tArtist = Café Müller|\tAlbum = Señora Año|[/a.wav]|"
         "     RAM allocation (2MB) successful|"},
        // The first file exists under its name as written, the second only under its conversion.
        {"FileNamesInTheSheetsEncoding",
         {{"\xC4\xEE\xEC.wav", 44100 * 3}, {"Ночь.wav", 44100 * 3}},
         "PERFORMER \"\xC0\xED\xF1\xE0\xEC\xE1\xEB\xFC \xEF\xE5\xF1\xED\xE8 \xE8 \xEF\xEB\xFF\xF1\xEA\xE8\"\n"
         "FILE \"\xC4\xEE\xEC.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "FILE \"\xCD\xEE\xF7\xFC.wav\" WAVE\n  TRACK 02 AUDIO\n"
         "    TITLE \"\xCD\xEE\xF7\xED\xE0\xFF \xF2\xE8\xF8\xE8\xED\xE0\"\n    INDEX 01 00:00:00\n",
         "0+132300@0\"\" 132300+132300@1\"Ночная тишина\"",
         "AUDIO source [ /disc.cue ]|\tGenre = Unknown|\tArtist = Ансамбль песни и пляски|\tAlbum = Unknown|"
         "[/Дом.wav][/Ночь.wav]|     RAM allocation (2MB) successful|"},
    };
}

INSTANTIATE_TEST_SUITE_P(Layouts, CueSheetTest, ::testing::ValuesIn(otherLayouts()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quoril::test
