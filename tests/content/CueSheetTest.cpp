#include <gtest/gtest.h>

#include "ContentTestSupport.h"

namespace quoril::test {
namespace {

using Frames = std::vector<int32_t>;

class CueSheetTest : public ContentTest {};

TEST_F(CueSheetTest, TwoFileSheetCountsTrackStartsFromTheFirstFile) {
    wav("a.wav", 441000);
    wav("b.wav", 882000, 16, 44100, 2);
    CdDescriptor& d = open(cue("disc.cue",
                               "FILE \"a.wav\" WAVE\n"
                               "  TRACK 01 AUDIO\n"
                               "    INDEX 01 00:00:00\n"
                               "  TRACK 02 AUDIO\n"
                               "    INDEX 01 00:05:00\n"
                               "FILE \"b.wav\" WAVE\n"
                               "  TRACK 03 AUDIO\n"
                               "    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(starts(), (Frames{0, 220500, 441000}));
    EXPECT_EQ(lengths(), (Frames{220500, 220500, 882000}));
    EXPECT_EQ(d.trackFile[0], 0);
    EXPECT_EQ(d.trackFile[1], 0);
    EXPECT_EQ(d.trackFile[2], 1);
    EXPECT_EQ(d.currentFile, 1);
    EXPECT_EQ(d.frameCount, 1323000.0);
    EXPECT_EQ(d.byteCount, 1323000 * 4 + CdDescriptor::kTailBytes);
}

struct IndexCase {
    const char* time;
    uint32_t rate;
    int32_t start;
};

class IndexPositionTest : public CueSheetTest, public ::testing::WithParamInterface<IndexCase> {};

// The position is ((60 mm + ss) 75 + ff) rate / 75 in whole numbers: the same sum in floating
// point lands one frame early for many of these.
TEST_P(IndexPositionTest, SecondTrackStartsAtTheExactFrameOfItsIndex) {
    const IndexCase& c = GetParam();
    const int32_t fileFrames = c.start + 2 * static_cast<int32_t>(c.rate);
    wav("a.wav", static_cast<size_t>(fileFrames), 16, c.rate);
    CdDescriptor& d = open(cue("disc.cue", std::string("FILE \"a.wav\" WAVE\n"
                                                       "  TRACK 01 AUDIO\n"
                                                       "    INDEX 01 00:00:00\n"
                                                       "  TRACK 02 AUDIO\n"
                                                       "    INDEX 01 ") +
                                               c.time + "\n"));
    ASSERT_TRUE(d.active) << openText();
    ASSERT_EQ(d.trackCount, 2);
    EXPECT_EQ(d.trackStart[1], c.start);
    EXPECT_EQ(d.trackLength[0], c.start);
    EXPECT_EQ(d.trackLength[1], fileFrames - c.start);
}

INSTANTIATE_TEST_SUITE_P(Times, IndexPositionTest,
                         ::testing::Values(IndexCase{"00:00:23", 44100, 13524},  // 23/75 s
                                           IndexCase{"00:00:47", 44100, 27636},  // 47/75 s
                                           IndexCase{"03:25:74", 1000, 205986},  // 205 + 74/75 s
                                           IndexCase{"00:01:01", 48000, 48640},
                                           IndexCase{"00:01:74", 96000, 190720},
                                           IndexCase{"00:00:01", 44100, 588}));

TEST_F(CueSheetTest, FirstTrackOfEachFileStartsAtTheFileStartWhateverItsIndexSays) {
    wav("a.wav", 441000);
    wav("b.wav", 441000, 16, 44100, 2);
    CdDescriptor& d = open(cue("disc.cue",
                               "FILE \"a.wav\" WAVE\n"
                               "  TRACK 01 AUDIO\n"
                               "    INDEX 01 00:02:00\n"
                               "  TRACK 02 AUDIO\n"
                               "    INDEX 01 00:05:00\n"
                               "FILE \"b.wav\" WAVE\n"
                               "  TRACK 03 AUDIO\n"
                               "    INDEX 01 00:03:00\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(starts(), (Frames{0, 220500, 441000}));
    EXPECT_EQ(lengths(), (Frames{220500, 220500, 441000}));
}

TEST_F(CueSheetTest, TrackWithPregapStartsAtIndexZeroAndLaterIndexLinesAreIgnored) {
    wav("a.wav", 441000);
    CdDescriptor& d = open(cue("disc.cue",
                               "FILE \"a.wav\" WAVE\n"
                               "  TRACK 01 AUDIO\n"
                               "    INDEX 00 00:00:00\n"
                               "    INDEX 01 00:00:32\n"
                               "  TRACK 02 AUDIO\n"
                               "    INDEX 00 00:04:00\n"
                               "    INDEX 01 00:05:00\n"
                               "    INDEX 02 00:06:00\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(starts(), (Frames{0, 176400}));
    EXPECT_EQ(lengths(), (Frames{176400, 264600}));
}

TEST_F(CueSheetTest, SheetFromARipperWithCrLfAndExtraLinesParses) {
    wav("Range.wav", 44100 * 12);
    CdDescriptor& d = open(cue("disc.cue",
                               "REM GENRE \"Chamber Music\"\r\n"
                               "REM DATE 1998\r\n"
                               "REM DISCID 8C0A4B0B\r\n"
                               "REM COMMENT \"ExactAudioCopy v1.6\"\r\n"
                               "CATALOG 0724355652423\r\n"
                               "PERFORMER \"The Quartet\"\r\n"
                               "TITLE \"Late Works\"\r\n"
                               "FILE \"Range.wav\" WAVE\r\n"
                               "  TRACK 01 AUDIO\r\n"
                               "    TITLE \"Grave\"\r\n"
                               "    PERFORMER \"The Quartet\"\r\n"
                               "    ISRC GBAYE9800001\r\n"
                               "    FLAGS DCP\r\n"
                               "    INDEX 01 00:00:00\r\n"
                               "  TRACK 02 AUDIO\r\n"
                               "    TITLE \"Allegro, ma non troppo\"\r\n"
                               "    SONGWRITER \"Someone\"\r\n"
                               "    PREGAP 00:02:00\r\n"
                               "    INDEX 00 00:03:70\r\n"
                               "    INDEX 01 00:04:00\r\n"
                               "  TRACK 03 AUDIO\r\n"
                               "    TITLE \"Finale\"\r\n"
                               "    INDEX 01 00:08:37\r\n"
                               "    POSTGAP 00:01:00\r\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(d.genre, "Chamber Music");
    EXPECT_EQ(d.performer, "The Quartet");
    EXPECT_EQ(d.albumTitle, "Late Works");
    ASSERT_EQ(d.trackCount, 3);
    EXPECT_EQ(d.trackTitle[0], "Grave");
    EXPECT_EQ(d.trackTitle[1], "Allegro, ma non troppo");
    EXPECT_EQ(d.trackTitle[2], "Finale");
    // 00:03:70 = 295 CD frames, 00:08:37 = 637 CD frames; 588 frames each at 44,100 Hz
    EXPECT_EQ(starts(), (Frames{0, 295 * 588, 637 * 588}));
    EXPECT_EQ(lengths(), (Frames{295 * 588, (637 - 295) * 588, 44100 * 12 - 637 * 588}));
}

TEST_F(CueSheetTest, OneFilePerTrackSheetMakesEachFileATrack) {
    wav("01.wav", 44100 * 3);
    wav("02.wav", 44100 * 4, 16, 44100, 2);
    wav("03.wav", 44100 * 5, 16, 44100, 3);
    CdDescriptor& d = open(cue("disc.cue",
                               "REM GENRE Rock\r\n"
                               "FILE \"01.wav\" WAVE\r\n"
                               "  TRACK 01 AUDIO\r\n"
                               "    TITLE \"One\"\r\n"
                               "    INDEX 01 00:00:00\r\n"
                               "FILE \"02.wav\" WAVE\r\n"
                               "  TRACK 02 AUDIO\r\n"
                               "    TITLE \"Two\"\r\n"
                               "    INDEX 00 00:00:00\r\n"
                               "    INDEX 01 00:00:33\r\n"
                               "FILE \"03.wav\" WAVE\r\n"
                               "  TRACK 03 AUDIO\r\n"
                               "    TITLE \"Three\"\r\n"
                               "    INDEX 01 00:00:00\r\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(d.genre, "Rock");
    EXPECT_EQ(starts(), (Frames{0, 44100 * 3, 44100 * 7}));
    EXPECT_EQ(lengths(), (Frames{44100 * 3, 44100 * 4, 44100 * 5}));
    EXPECT_EQ(d.trackTitle[1], "Two");
}

TEST_F(CueSheetTest, ByteOrderMarkBeforeTheFirstLineIsNotPartOfItsKeyword) {
    wav("a.wav", 44100 * 3);
    CdDescriptor& d = open(cue("disc.cue",
                               "\xEF\xBB\xBFPERFORMER \"S\xC3\xA9verine\"\r\n"
                               "FILE \"a.wav\" WAVE\r\n"
                               "  TRACK 01 AUDIO\r\n"
                               "    INDEX 01 00:00:00\r\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(d.performer, "S\xC3\xA9verine");
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
    CdDescriptor& d =
        open(cue("disc.cue", std::string(GetParam().header) + "FILE \"a.wav\" WAVE\n"
                                                              "  TRACK 01 AUDIO\n"
                                                              "    INDEX 01 00:00:00\n"
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
        HeaderCase{"quoted genre", "REM GENRE \"Free Jazz\"\n", "Free Jazz", "Unknown", "Unknown"},
        HeaderCase{"later line wins", "TITLE \"One\"\nTITLE \"Two\"\n", "Unknown", "Unknown", "Two"},
        HeaderCase{"lower case ignored", "title \"One\"\nperformer \"x\"\n", "Unknown", "Unknown", "Unknown"},
        HeaderCase{"empty genre", "REM GENRE\n", "Unknown", "Unknown", "Unknown"},
        HeaderCase{"unquoted title", "TITLE Live\n", "Unknown", "Unknown", "Unknown"},
        HeaderCase{"no blank before quote", "PERFORMER\"Trio\"\n", "Unknown", "Trio", "Unknown"}),
    [](const auto& info) {
        std::string name = info.param.name;
        for (char& c : name) {
            if (!isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

TEST_F(CueSheetTest, TabIndentedTracksAreNotSeenSoTheFileBecomesOneTrack) {
    wav("a.wav", 441000);
    CdDescriptor& d = open(cue("disc.cue",
                               "FILE \"a.wav\" WAVE\n"
                               "\tTRACK 01 AUDIO\n"
                               "\t\tINDEX 01 00:00:00\n"
                               "\tTRACK 02 AUDIO\n"
                               "\t\tINDEX 01 00:05:00\n"));
    ASSERT_TRUE(d.active) << openText();
    ASSERT_EQ(d.trackCount, 1);
    EXPECT_EQ(d.trackTitle[0], "Track 01");
    EXPECT_EQ(starts(), (Frames{0}));
    EXPECT_EQ(lengths(), (Frames{441000}));
}

TEST_F(CueSheetTest, LowerCaseFileKeywordLeavesTheSheetWithoutAFile) {
    wav("a.wav", 441000);
    std::string path = cue("disc.cue",
                           "TITLE \"Album\"\n"
                           "file \"a.wav\" WAVE\n"
                           "  TRACK 01 AUDIO\n"
                           "    INDEX 01 00:00:00\n");
    CdDescriptor& d = open(path);
    EXPECT_FALSE(d.active);
    EXPECT_EQ(d.currentFile, -1);
    EXPECT_EQ(openText(), "AUDIO source [ " + path +
                              " ]\r\n"
                              "\r\nContent file NOT found!\r\n"
                              "\tGenre = Unknown\r\n"
                              "\tArtist = Unknown\r\n"
                              "\tAlbum = Album\r\n"
                              "\r\nCue file does not contain a FILE directive (.wav or .flac).\r\n");
}

TEST_F(CueSheetTest, TrackStartingLessThanASecondBeforeTheEndIsDroppedWithTheTracksAfterIt) {
    wav("a.wav", 44100 * 5);
    wav("b.wav", 44100 * 3, 16, 44100, 2);
    CdDescriptor& d = open(cue("disc.cue",
                               "FILE \"a.wav\" WAVE\n"
                               "  TRACK 01 AUDIO\n"
                               "    INDEX 01 00:00:00\n"
                               "  TRACK 02 AUDIO\n"
                               "    INDEX 01 00:02:00\n"
                               "  TRACK 03 AUDIO\n"
                               "    INDEX 01 00:04:08\n"  // 0.89 s before the end
                               "  TRACK 04 AUDIO\n"
                               "    INDEX 01 00:04:50\n"
                               "  TRACK 05 AUDIO\n"
                               "FILE \"b.wav\" WAVE\n"
                               "  TRACK 06 AUDIO\n"
                               "    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(starts(), (Frames{0, 88200, 220500}));
    EXPECT_EQ(lengths(), (Frames{88200, 132300, 132300}));
    EXPECT_NE(openText().find(
                  "\r\n\tWav file is smaller than cue file track details. Tracks truncated to match wav "
                  "file.\r\n\t\tIgnoring track 3\r\n\t\tIgnoring track 4\r\n\t\tIgnoring track 5\r\n"
                  "\r\n     FILE: "),
              std::string::npos)
        << openText();
}

TEST_F(CueSheetTest, TrackExactlyOneSecondBeforeTheEndIsDroppedAndOneFrameMoreIsKept) {
    wav("a.wav", 44100 * 5 + 1);
    CdDescriptor& d = open(cue("disc.cue",
                               "FILE \"a.wav\" WAVE\n"
                               "  TRACK 01 AUDIO\n"
                               "    INDEX 01 00:00:00\n"
                               "  TRACK 02 AUDIO\n"
                               "    INDEX 01 00:04:00\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(starts(), (Frames{0, 176400}));
    EXPECT_EQ(lengths(), (Frames{176400, 44101}));

    wav("b.wav", 44100 * 5);
    CdDescriptor& e = open(cue("disc2.cue",
                               "FILE \"b.wav\" WAVE\n"
                               "  TRACK 01 AUDIO\n"
                               "    INDEX 01 00:00:00\n"
                               "  TRACK 02 AUDIO\n"
                               "    INDEX 01 00:04:00\n"));
    ASSERT_TRUE(e.active) << openText();
    EXPECT_EQ(e.trackCount, 1);
    EXPECT_EQ(lengths(), (Frames{220500}));
}

TEST_F(CueSheetTest, TitleIsCutTo255CharactersAndTakenFromTheColumnAfterTheQuote) {
    wav("a.wav", 44100 * 3);
    std::string longTitle(300, 'x');
    longTitle[0] = 'A';
    std::string sheet =
        "FILE \"a.wav\" WAVE\n"
        "    TITLE \"Before any track\"\n"
        "  TRACK 01 AUDIO\n"
        "    TITLE \"" +
        longTitle +
        "\"\n"
        "    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n"
        "    TITLE \"Last\"\n"
        "    INDEX 01 00:01:00\n";
    CdDescriptor& d = open(cue("disc.cue", sheet));
    ASSERT_TRUE(d.active) << openText();
    ASSERT_EQ(d.trackCount, 2);
    EXPECT_EQ(d.trackTitle[0], longTitle.substr(0, 255));
    EXPECT_EQ(d.trackTitle[1], "Last");
}

// A cue sheet with `tracks` tracks of two seconds each in one file at 1,000 Hz.
std::string manyTracks(int tracks) {
    std::string text = "FILE \"a.wav\" WAVE\n";
    for (int t = 1; t <= tracks; ++t) {
        char line[128];
        std::snprintf(line, sizeof line, "  TRACK %02d AUDIO\n    TITLE \"T%d\"\n    INDEX 01 %02d:%02d:00\n",
                      t, t, (2 * (t - 1)) / 60, (2 * (t - 1)) % 60);
        text += line;
    }
    return text;
}

TEST_F(CueSheetTest, NinetyNineTracksAreEnteredNormally) {
    wav("a.wav", 1000 * 250, 16, 1000);
    CdDescriptor& d = open(cue("disc.cue", manyTracks(99)));
    ASSERT_TRUE(d.active) << openText();
    ASSERT_EQ(d.trackCount, 99);
    EXPECT_EQ(d.trackStart[98], 196000);
    EXPECT_EQ(d.trackLength[97], 2000);
    EXPECT_EQ(d.trackLength[98], 250000 - 196000);
    EXPECT_EQ(d.trackTitle[98], "T99");
}

TEST_F(CueSheetTest, MoreThanAHundredTracksFillTheTableAndStayWithinTheAudio) {
    wav("a.wav", 1000 * 250, 16, 1000);
    CdDescriptor& d = open(cue("disc.cue", manyTracks(120)));
    ASSERT_TRUE(d.active) << openText();
    ASSERT_EQ(d.trackCount, 100);
    int64_t end = 0;
    for (int row = 0; row < d.trackCount; ++row) {
        EXPECT_EQ(d.trackStart[row], end) << "row " << row;
        EXPECT_GE(d.trackLength[row], 0) << "row " << row;
        end = d.trackStart[row] + static_cast<int64_t>(d.trackLength[row]);
    }
    EXPECT_EQ(end, 250000);
    EXPECT_EQ(d.trackTitle[99], "T100");
    EXPECT_NE(openText().find("more than 100 tracks"), std::string::npos);
}

TEST_F(CueSheetTest, MoreThanAHundredFilesAreCutAtTheTableSize) {
    std::string text;
    for (int f = 0; f < 102; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "f%03d.wav", f);
        if (f < 100) {
            wav(name, 100, 16, 1000, f);
        }
        text += std::string("FILE \"") + name + "\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    }
    CdDescriptor& d = open(cue("disc.cue", text));
    EXPECT_TRUE(d.active) << openText();
    EXPECT_EQ(d.currentFile, 99);
    EXPECT_EQ(d.trackCount, 100);
    EXPECT_EQ(d.trackStart[99], 9900);
    EXPECT_EQ(d.frameCount, 10000.0);
    EXPECT_NE(openText().find("more than 100 files"), std::string::npos);
}

struct RefusalCase {
    const char* name;
    const char* sheet;
    const char* message;
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

INSTANTIATE_TEST_SUITE_P(
    Sheets, CueRefusalTest,
    ::testing::Values(
        RefusalCase{
            "file_after_file",
            "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
            "FILE \"b.wav\" WAVE\nFILE \"a.wav\" WAVE\n  TRACK 02 AUDIO\n",
            "\r\nA problem was encountered after track 1.\r\nCue contains FILE directive at incorrect "
            "location, 'TRACK' information expected.\r\n"},
        RefusalCase{"file_without_name",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE b.wav\n",
                    "\r\nFILE directive contains NO or invalid file name.\r\n"},
        RefusalCase{"unsupported_later_file",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE \"c.mp3\" MP3\n",
                    "NOT supported (only WAV or FLAC supported).\r\n"},
        RefusalCase{"unsupported_first_file", "FILE \"c.mp3\" MP3\n",
                    "\r\nContent file NOT supported (only WAV or FLAC supported).\r\n"},
        RefusalCase{"missing_later_file",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE \"gone.wav\" WAVE\n",
                    "\r\nWav file NOT found!\r\n"},
        RefusalCase{"index_with_letters",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                    "    INDEX 01 00:0x:00\n",
                    "\r\n\tInvalid track details in cue file.\r\n"},
        RefusalCase{"index_too_short",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                    "    INDEX 01 00:01\n",
                    "\r\n\tInvalid track details in cue file.\r\n"},
        RefusalCase{"track_without_index",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                    "  TRACK 03 AUDIO\n    INDEX 01 00:02:00\n",
                    "\r\n\tInvalid track details in cue file.\r\n"},
        RefusalCase{"index_going_back",
                    "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
                    "    INDEX 01 00:03:00\n  TRACK 03 AUDIO\n    INDEX 01 00:02:00\n",
                    "\r\n\tInvalid track details in cue file.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CueSheetTest, RelativeNamesAreTakenFromTheSheetsDirectoryWithBackslashesAsSeparators) {
    dir.write("sub/x", "");
    std::vector<int32_t> samples = makeSamples(44100 * 3);
    WavWriter().samples(samples).write(dir.file("sub/a.wav"));
    WavWriter().samples(samples).write(dir.file("b.wav"));
    CdDescriptor& d = open(cue("disc.cue",
                               "FILE \"sub\\a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                               "FILE \"" +
                                   dir.file("b.wav") + "\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"));
    ASSERT_TRUE(d.active) << openText();
    EXPECT_EQ(d.cueDirectory, dir.path() + "/");
    EXPECT_EQ(d.filePath[0], dir.path() + "/sub/a.WAV");
    EXPECT_EQ(d.filePath[1], dir.path() + "/b.WAV");
}

TEST_F(CueSheetTest, NameWithADriveLetterIsUsedUnchanged) {
    CdDescriptor& d = open(cue("disc.cue", "FILE \"C:\\music\\a.wav\" WAVE\n  TRACK 01 AUDIO\n"));
    EXPECT_FALSE(d.active);
    EXPECT_NE(openText().find("\r\n     FILE: C:\\music\\a.wav\r\n\r\nWav file NOT found!\r\n"),
              std::string::npos)
        << openText();
}

}  // namespace
}  // namespace quoril::test

namespace quoril::test {
namespace {

// Sheets stitched from the lines real and broken sheets are made of, in random order: whatever
// the parser accepts must keep every track inside the audio, in order, within the tables.
TEST_F(CueSheetTest, RandomSheetsNeverLeaveTheTrackTableOutsideTheAudio) {
    wav("a.wav", 44100 * 4, 16, 44100, 1);
    wav("b.wav", 44100 * 3, 16, 44100, 2);
    const std::vector<std::string> pieces = {"FILE \"a.wav\" WAVE\n",
                                             "FILE \"b.wav\" WAVE\n",
                                             "FILE \"\" WAVE\n",
                                             "  TRACK 01 AUDIO\n",
                                             "  TRACK 02 AUDIO\n",
                                             "    INDEX 01 00:00:00\n",
                                             "    INDEX 00 00:01:00\n",
                                             "    INDEX 01 00:02:40\n",
                                             "    INDEX 01 00:03:70\n",
                                             "    INDEX 01 99:99:99\n",
                                             "    INDEX 01 0\n",
                                             "    TITLE \"x\"\n",
                                             "    TITLE \"\n",
                                             "    TITLE\n",
                                             "TITLE \"Album\"\n",
                                             "REM GENRE \"\n",
                                             "PERFORMER \"p\n",
                                             "\tTRACK 03 AUDIO\n",
                                             "    FLAGS DCP\n",
                                             "\n",
                                             std::string(1030, 'L') + "\n"};
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
        ASSERT_GE(d.trackCount, 0);
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
            EXPECT_LE(d.trackStart[row] + static_cast<int64_t>(d.trackLength[row]), d.frameCount)
                << "row " << row;
            previousStart = d.trackStart[row];
        }
    }
    // Enough of them are accepted for the checks above to mean something.
    EXPECT_GE(accepted, 30);
}

}  // namespace
}  // namespace quoril::test
