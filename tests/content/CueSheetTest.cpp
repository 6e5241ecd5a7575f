#include <gtest/gtest.h>

#include "ContentTestSupport.h"
#include "platform/CFormat.h"

namespace quoril::test {
namespace {

class CueSheetTest : public ContentTest {};

std::string fileLine(const std::string& name) {
    return "FILE \"" + name + "\" WAVE\n";
}
std::string trackLines(int number, const std::string& index) {
    return cformat("  TRACK %02d AUDIO\n    INDEX 01 ", number) + index + "\n";
}

// A sheet over generated 16-bit files a.wav, b.wav, ... and the track table it must give.
struct SheetCase {
    std::string name;
    std::vector<int> fileFrames;
    std::string sheet;
    std::string table;                     // "start+length" of each track, blank-separated
    std::vector<std::string> titles = {};  // the first rows' titles, when given
    std::string logPart = "";
    uint32_t rate = 44100;
};

void PrintTo(const SheetCase& c, std::ostream* os) {
    *os << c.name;
}

// The position is ((60 mm + ss) 75 + ff) rate / 75 in whole numbers: the same sum in floating
// point lands one frame early for several of these.
SheetCase indexCase(const std::string& name, const std::string& time, uint32_t rate, int32_t start) {
    const int total = start + 2 * static_cast<int>(rate);
    return {name,
            {total},
            fileLine("a.wav") + trackLines(1, "00:00:00") + trackLines(2, time),
            cformat("0+%d %d+%d", start, start, total - start),
            {},
            "",
            rate};
}

// `count` tracks two seconds apart in one 250-second file at 1,000 Hz.
SheetCase manyTracksCase(const std::string& name, int count, const std::string& logPart) {
    SheetCase c{name, {250000}, fileLine("a.wav"), "", {}, logPart, 1000};
    for (int t = 1; t <= count; ++t) {
        c.sheet += cformat("  TRACK %02d AUDIO\n    TITLE \"T%d\"\n    INDEX 01 %02d:%02d:00\n", t, t,
                           (2 * (t - 1)) / 60, (2 * (t - 1)) % 60);
        if (t <= CdDescriptor::kMaxTracks) {
            const int start = 2000 * (t - 1);
            const bool last = t == std::min(count, CdDescriptor::kMaxTracks);
            c.table += cformat("%s%d+%d", t > 1 ? " " : "", start, last ? 250000 - start : 2000);
            c.titles.push_back("T" + std::to_string(t));
        }
    }
    return c;
}

SheetCase row(const std::string& name, std::vector<int> fileFrames, const std::string& sheet,
              const std::string& table, std::vector<std::string> titles = {},
              const std::string& logPart = "") {
    return {name, std::move(fileFrames), sheet, table, std::move(titles), logPart};
}

std::vector<SheetCase> sheetCases() {
    const std::string a = fileLine("a.wav");
    const std::string b = fileLine("b.wav");
    const std::string longTitle = "A" + std::string(299, 'x');
    std::string accented;  // 300 characters of two bytes: cut after 255 characters, not bytes
    for (int i = 0; i < 300; ++i) {
        accented += "\u00e9";
    }
    return {
        row("TwoFilesCountFromTheFirstFile", {441000, 882000},
            a + trackLines(1, "00:00:00") + trackLines(2, "00:05:00") + b + trackLines(3, "00:00:00"),
            "0+220500 220500+220500 441000+882000"),
        row("FirstTrackOfEachFileStartsAtTheFileStart", {441000, 441000},
            a + trackLines(1, "00:02:00") + trackLines(2, "00:05:00") + b + trackLines(3, "00:03:00"),
            "0+220500 220500+220500 441000+441000"),
        row("PregapStartsAtIndexZeroAndLaterIndexesAreIgnored", {441000},
            a + "  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n    INDEX 01 00:00:32\n  TRACK 02 AUDIO\n"
                "    INDEX 00 00:04:00\n    INDEX 01 00:05:00\n    INDEX 02 00:06:00\n",
            "0+176400 176400+264600"),
        row("RipperSheetWithCrLfAndExtraLines", {44100 * 12},
            "REM GENRE \"Chamber Music\"\r\nREM DATE 1998\r\nREM COMMENT \"ExactAudioCopy v1.6\"\r\n"
            "CATALOG 0724355652423\r\nPERFORMER \"The Quartet\"\r\nTITLE \"Late Works\"\r\n"
            "FILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Grave\"\r\n    ISRC GBAYE9800001\r\n"
            "    FLAGS DCP\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n"
            "    TITLE \"Allegro, ma non troppo\"\r\n    SONGWRITER \"Someone\"\r\n    PREGAP 00:02:00\r\n"
            "    INDEX 00 00:03:70\r\n    INDEX 01 00:04:00\r\n  TRACK 03 AUDIO\r\n    TITLE \"Finale\"\r\n"
            "    INDEX 01 00:08:37\r\n    POSTGAP 00:01:00\r\n",
            "0+173460 173460+201096 374556+154644",  // 00:03:70 and 00:08:37: 295 and 637 CD frames of 588
            {"Grave", "Allegro, ma non troppo", "Finale"}),
        row("OneFilePerTrack", {44100 * 3, 44100 * 4, 44100 * 5},
            "FILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\nFILE \"b.wav\" WAVE\r\n"
            "  TRACK 02 AUDIO\r\n    TITLE \"Two\"\r\n    INDEX 00 00:00:00\r\n    INDEX 01 00:00:33\r\n"
            "FILE \"c.wav\" WAVE\r\n  TRACK 03 AUDIO\r\n    INDEX 01 00:00:00\r\n",
            "0+132300 132300+176400 308700+220500", {"", "Two"}),
        row("TabIndentedTracksAreNotSeen", {441000},
            a + "\tTRACK 01 AUDIO\n\t\tINDEX 01 00:00:00\n\tTRACK 02 AUDIO\n\t\tINDEX 01 00:05:00\n",
            "0+441000", {"Track 01"}),
        row("TrackLessThanASecondBeforeTheEndIsDroppedWithTheTracksAfterIt", {44100 * 5, 44100 * 3},
            a + trackLines(1, "00:00:00") + trackLines(2, "00:02:00") + trackLines(3, "00:04:08") +
                trackLines(4, "00:04:50") + "  TRACK 05 AUDIO\n" + b + trackLines(6, "00:00:00"),
            "0+88200 88200+132300 220500+132300", {},
            "\r\n\tWav file is smaller than cue file track details. Tracks truncated to match wav file.\r\n"
            "\t\tIgnoring track 3\r\n\t\tIgnoring track 4\r\n\t\tIgnoring track 5\r\n\r\n     FILE: "),
        row("TrackExactlyOneSecondBeforeTheEndIsDropped", {44100 * 5},
            a + trackLines(1, "00:00:00") + trackLines(2, "00:04:00"), "0+220500"),
        row("TrackOneFrameMoreThanASecondBeforeTheEndIsKept", {44100 * 5 + 1},
            a + trackLines(1, "00:00:00") + trackLines(2, "00:04:00"), "0+176400 176400+44101"),
        row("TitleIsCutTo255CharactersAndATitleBeforeAnyTrackIsIgnored", {44100 * 3},
            a + "    TITLE \"Before\"\n  TRACK 01 AUDIO\n    TITLE \"" + longTitle +
                "\"\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    TITLE \"" + accented +
                "\"\n    INDEX 01 00:01:00\n",
            "0+44100 44100+88200", {longTitle.substr(0, 255), accented.substr(0, 2 * 255)}),
        manyTracksCase("NinetyNineTracks", 99, ""),
        manyTracksCase("MoreThanAHundredTracksFillTheTable", 120,
                       "\r\n\tCue file has more than 100 tracks; the rest is ignored.\r\n"),
        indexCase("IndexAt23Of75", "00:00:23", 44100, 13524),
        indexCase("IndexAt47Of75", "00:00:47", 44100, 27636),
        indexCase("IndexAt03_25_74", "03:25:74", 1000, 205986),
        indexCase("IndexAt48000", "00:01:01", 48000, 48640),
        indexCase("IndexAt96000", "00:01:74", 96000, 190720),
        indexCase("IndexOfOneCdFrame", "00:00:01", 44100, 588),
    };
}

class TrackTable : public CueSheetTest, public ::testing::WithParamInterface<SheetCase> {};

TEST_P(TrackTable, SheetGivesExactlyTheseStartsLengthsAndTitles) {
    const SheetCase& c = GetParam();
    int total = 0;
    for (size_t f = 0; f < c.fileFrames.size(); ++f) {
        wav(std::string(1, static_cast<char>('a' + f)) + ".wav", static_cast<size_t>(c.fileFrames[f]), 16,
            c.rate, static_cast<uint32_t>(f + 1));
        total += c.fileFrames[f];
    }
    CdDescriptor& d = open(cue("disc.cue", c.sheet));
    ASSERT_TRUE(d.active) << openText();
    std::string table;
    for (int row = 0; row < d.trackCount; ++row) {
        table += cformat("%s%d+%d", row > 0 ? " " : "", d.trackStart[row], d.trackLength[row]);
    }
    EXPECT_EQ(table, c.table);
    for (size_t t = 0; t < c.titles.size(); ++t) {
        EXPECT_EQ(d.trackTitle[t], c.titles[t]) << "row " << t;
    }
    EXPECT_NE(openText().find(c.logPart), std::string::npos) << openText();
    EXPECT_EQ(d.frameCount, total);
    EXPECT_EQ(d.currentFile, static_cast<int>(c.fileFrames.size()) - 1);
    EXPECT_EQ(d.byteCount, int64_t{total} * 4 + CdDescriptor::kTailBytes);
}

INSTANTIATE_TEST_SUITE_P(Sheets, TrackTable, ::testing::ValuesIn(sheetCases()),
                         [](const auto& info) { return info.param.name; });

TEST_F(CueSheetTest, EachTrackRemembersItsFile) {
    wav("a.wav", 441000);
    wav("b.wav", 882000, 16, 44100, 2);
    CdDescriptor& d =
        open(cue("disc.cue", fileLine("a.wav") + trackLines(1, "00:00:00") + trackLines(2, "00:05:00") +
                                 fileLine("b.wav") + trackLines(3, "00:00:00")));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(std::vector<int>(d.trackFile.begin(), d.trackFile.begin() + 3), (std::vector<int>{0, 0, 1}));
}

struct HeaderCase {
    const char* name;
    const char* header;
    const char* genre;
    const char* performer;
    const char* album;
};

class CueHeaderTest : public CueSheetTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(CueHeaderTest, DiscLinesBeforeTheFirstFileSetTheTitles) {
    wav("a.wav", 44100 * 3);
    CdDescriptor& d = open(cue("disc.cue", GetParam().header + fileLine("a.wav") + trackLines(1, "00:00:00") +
                                               "PERFORMER \"After the file\"\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(d.genre, GetParam().genre);
    EXPECT_EQ(d.performer, GetParam().performer);
    EXPECT_EQ(d.albumTitle, GetParam().album);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CueHeaderTest,
    ::testing::Values(
        HeaderCase{"none", "", "Unknown", "Unknown", "Unknown"},
        HeaderCase{"plain", "REM GENRE Jazz\nPERFORMER \"Trio\"\nTITLE \"Live\"\n", "Jazz", "Trio", "Live"},
        HeaderCase{"quoted_genre", "REM GENRE \"Free Jazz\"\n", "Free Jazz", "Unknown", "Unknown"},
        HeaderCase{"later_line_wins", "TITLE \"One\"\nTITLE \"Two\"\n", "Unknown", "Unknown", "Two"},
        HeaderCase{"lower_case_ignored", "title \"One\"\nperformer \"x\"\n", "Unknown", "Unknown", "Unknown"},
        HeaderCase{"empty_genre", "REM GENRE\n", "Unknown", "Unknown", "Unknown"},
        HeaderCase{"unquoted_title", "TITLE Live\n", "Unknown", "Unknown", "Unknown"},
        HeaderCase{"no_blank_before_quote", "PERFORMER\"Trio\"\n", "Unknown", "Trio", "Unknown"},
        HeaderCase{"byte_order_mark", "\xEF\xBB\xBFPERFORMER \"S\xC3\xA9verine\"\r\n", "Unknown",
                   "S\xC3\xA9verine", "Unknown"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CueSheetTest, LowerCaseFileKeywordLeavesTheSheetWithoutAFile) {
    wav("a.wav", 441000);
    std::string path = cue("disc.cue", "TITLE \"Album\"\nfile \"a.wav\" WAVE\n" + trackLines(1, "00:00:00"));
    CdDescriptor& d = open(path);
    EXPECT_FALSE(d.active);
    EXPECT_EQ(d.currentFile, -1);
    EXPECT_EQ(openText(),
              "AUDIO source [ " + path +
                  " ]\r\n\r\nContent file NOT found!\r\n\tGenre = Unknown\r\n\tArtist = Unknown\r\n"
                  "\tAlbum = Album\r\n\r\nCue file does not contain a FILE directive (.wav or "
                  ".flac).\r\n");
}

struct RefusalCase {
    const char* name;
    std::string sheet;
    std::string message;
};

class CueRefusalTest : public CueSheetTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CueRefusalTest, SheetIsRefusedWithItsMessage) {
    wav("a.wav", 44100 * 5);
    wav("b.wav", 44100 * 5, 16, 44100, 2);
    dir.write("c.mp3", "not audio");
    CdDescriptor& d = open(cue("disc.cue", GetParam().sheet));
    EXPECT_FALSE(d.active);
    EXPECT_NE(openText().find(GetParam().message), std::string::npos) << openText();
    EXPECT_EQ(openText().find("RAM allocation"), std::string::npos);
}

const std::string kOneTrack = fileLine("a.wav") + trackLines(1, "00:00:00");
const std::string kInvalidTrack = "\r\n\tInvalid track details in cue file.\r\n";

INSTANTIATE_TEST_SUITE_P(
    Sheets, CueRefusalTest,
    ::testing::Values(
        RefusalCase{
            "file_after_file", kOneTrack + fileLine("b.wav") + fileLine("a.wav") + "  TRACK 02 AUDIO\n",
            "\r\nA problem was encountered after track 1.\r\nCue contains FILE directive at incorrect "
            "location, 'TRACK' information expected.\r\n"},
        RefusalCase{"file_without_name", kOneTrack + "FILE b.wav\n",
                    "\r\nFILE directive contains NO or invalid file name.\r\n"},
        RefusalCase{"unsupported_later_file", kOneTrack + "FILE \"c.mp3\" MP3\n",
                    "/c.mp3' NOT supported (only WAV or FLAC supported).\r\n"},
        RefusalCase{"unsupported_first_file", "FILE \"c.mp3\" MP3\n",
                    "\r\nContent file NOT supported (only WAV or FLAC supported).\r\n"},
        RefusalCase{"missing_later_file", kOneTrack + fileLine("gone.wav"), "\r\nWav file NOT found!\r\n"},
        RefusalCase{"drive_letter_name_used_unchanged", fileLine("C:\\music\\a.wav") + "  TRACK 01 AUDIO\n",
                    "\r\n     FILE: C:\\music\\a.wav\r\n\r\nWav file NOT found!\r\n"},
        RefusalCase{"index_with_letters", kOneTrack + trackLines(2, "00:0x:00"), kInvalidTrack},
        RefusalCase{"index_too_short", kOneTrack + trackLines(2, "00:01"), kInvalidTrack},
        RefusalCase{"track_without_index", kOneTrack + "  TRACK 02 AUDIO\n" + trackLines(3, "00:02:00"),
                    kInvalidTrack},
        RefusalCase{"index_going_back", kOneTrack + trackLines(2, "00:03:00") + trackLines(3, "00:02:00"),
                    kInvalidTrack}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CueSheetTest, RelativeNamesAreTakenFromTheSheetsDirectoryWithBackslashesAsSeparators) {
    dir.write("sub/x", "");
    std::vector<int32_t> samples = makeSamples(44100 * 3);
    WavWriter().samples(samples).write(dir.file("sub/a.wav"));
    WavWriter().samples(samples).write(dir.file("b.wav"));
    CdDescriptor& d = open(cue("disc.cue", fileLine("sub\\a.wav") + trackLines(1, "00:00:00") +
                                               fileLine(dir.file("b.wav")) + trackLines(2, "00:00:00")));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(d.cueDirectory, dir.path() + "/");
    EXPECT_EQ(d.filePath[0], dir.path() + "/sub/a.WAV");
    EXPECT_EQ(d.filePath[1], dir.path() + "/b.WAV");
}

// Sheets stitched from the lines real and broken sheets are made of, in random order: whatever
// the parser accepts must keep every track inside the audio, in order, within the tables.
TEST_F(CueSheetTest, RandomSheetsNeverLeaveTheTrackTableOutsideTheAudio) {
    wav("a.wav", 44100 * 4, 16, 44100, 1);
    wav("b.wav", 44100 * 3, 16, 44100, 2);
    std::vector<std::string> pieces;
    for (const char* piece : {"FILE \"a.wav\" WAVE",   "FILE \"b.wav\" WAVE",
                              "FILE \"\" WAVE",        "  TRACK 01 AUDIO",
                              "  TRACK 02 AUDIO",      "    INDEX 01 00:00:00",
                              "    INDEX 00 00:01:00", "    INDEX 01 00:02:40",
                              "    INDEX 01 00:03:70", "    INDEX 01 99:99:99",
                              "    INDEX 01 0",        "    TITLE \"x\"",
                              "    TITLE \"",          "    TITLE",
                              "TITLE \"Album\"",       "REM GENRE \"",
                              "PERFORMER \"p",         "\tTRACK 03 AUDIO",
                              "    FLAGS DCP",         ""}) {
        pieces.push_back(std::string(piece) + "\n");
    }
    pieces.push_back(std::string(1030, 'L') + "\n");
    uint64_t state = 42;
    int accepted = 0;
    for (int sheet = 0; sheet < 300; ++sheet) {
        std::string text;
        int lines = static_cast<int>(state % 40);
        for (int i = 0; i < lines; ++i) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            text += pieces[(state >> 33) % pieces.size()];
        }
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        SCOPED_TRACE(text);
        CdDescriptor& d = open(cue("random.cue", text));
        ASSERT_LE(d.trackCount, CdDescriptor::kMaxTracks);
        ASSERT_LT(d.currentFile, CdDescriptor::kMaxFiles);
        if (!d.active) {
            continue;
        }
        ++accepted;
        ASSERT_GE(d.trackCount, 1);
        int64_t previousStart = 0;
        for (int row = 0; row < d.trackCount; ++row) {
            EXPECT_GE(d.trackStart[row], previousStart) << "row " << row;
            EXPECT_GE(d.trackLength[row], 0) << "row " << row;
            EXPECT_LE(d.trackStart[row] + static_cast<int64_t>(d.trackLength[row]), d.frameCount);
            previousStart = d.trackStart[row];
        }
    }
    EXPECT_GE(accepted, 30);  // enough accepted sheets for the checks to mean something
}

}  // namespace
}  // namespace quoril::test
