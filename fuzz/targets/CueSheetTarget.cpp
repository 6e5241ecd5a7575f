// Cue sheets from memory, through the whole content open and load. The sheet sits beside small
// WAV and FLAC files (FuzzWorkspace.h) so that the names it gives can resolve to real audio.

#include "FuzzTargets.h"
#include "FuzzWorkspace.h"
#include "targets/DiscCheck.h"

namespace quoril::fuzz {

int fuzzCueSheet(const uint8_t* data, size_t size) {
    const FuzzWorkspace& workspace = FuzzWorkspace::instance();
    openLoadAndCheck(workspace.write("sheet.cue", data, size));
    return 0;
}

namespace {

// A sheet as UTF-16 with its byte-order mark, from Latin-1 text.
std::string utf16(const std::string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text) {
        bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return bytes;
}

}  // namespace

std::vector<std::string> cueSheetSeeds() {
    return {
        "REM GENRE \"Jazz\"\nPERFORMER \"Someone\"\nTITLE \"Album\"\nFILE \"a.wav\" WAVE\n"
        "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
        "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 00 00:00:50\n    INDEX 01 00:01:00\n",

        "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
        "FILE \"b.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n"
        "FILE \"c.flac\" WAVE\n  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n  TRACK 04 AUDIO\n    INDEX 01 "
        "00:01:37\n",

        "REM GENRE Rock\r\nTITLE \"Crlf\"\r\nFILE \"e.flac\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"A\"\r\n"
        "    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    INDEX 01 00:02:74\r\n  TRACK 03 AUDIO\r\n"
        "    INDEX 01 00:02:20\r\n",

        "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE \"d24.wav\" WAVE\n  TRACK 02 "
        "AUDIO\n"
        "    INDEX 01 00:00:00\n",

        "FILE \"c.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nFILE \"f48k.wav\" WAVE\n"
        "FILE \"x.mp3\" MP3\n",

        "FILE \"a.wav\" WAVE\n\tTRACK 01 AUDIO\n  TRACK 01 AUDIO\n    INDEX 01 0x:y0:00\n  TRACK 02 AUDIO\n"
        "    INDEX 01\n",

        // One file per track with the gaps appended, every track with a pregap; track 2 runs
        // through the truncated t.wav.
        "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
        "    INDEX 00 00:02:40\nFILE \"t.wav\" WAVE\n    INDEX 01 00:00:00\n  TRACK 03 AUDIO\n"
        "    INDEX 00 00:01:00\nFILE \"b.wav\" WAVE\n    INDEX 01 00:00:00\n",

        // The same with a track without a pregap: a FILE line follows a FILE line.
        "FILE \"c.flac\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n"
        "    INDEX 00 00:02:70\nFILE \"t.wav\" WAVE\n    INDEX 01 00:00:00\nFILE \"c.flac\" WAVE\n"
        "  TRACK 03 AUDIO\n    INDEX 01 00:00:00\n  TRACK 04 AUDIO\n    INDEX 01 00:01:00\n",

        // Tabs, eight spaces, three spaces and none.
        "FILE \"b.wav\" WAVE\n\tTRACK 01 AUDIO\n\t\tTITLE \"Tab\"\n\t\tINDEX 01 00:00:00\n"
        "        TRACK 02 AUDIO\n        INDEX 01 00:01:00\nTRACK 03 AUDIO\nINDEX 00 00:01:50\n"
        "   FILE \"a.wav\" WAVE\n   TRACK 04 AUDIO\n   INDEX 01 00:00:00\n",

        // An enhanced disc: data tracks and data files among the audio.
        "FILE \"x.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\nFILE \"a.wav\" WAVE\n"
        "  TRACK 02 AUDIO\n    INDEX 01 00:00:00\n  TRACK 03 MODE2/2352\n    INDEX 01 00:01:00\n"
        "  TRACK 04 AUDIO\n    INDEX 01 00:01:40\nFILE \"y.bin\" MOTOROLA\n  TRACK 05 AUDIO\n",

        // Titles in Windows-1251 and Shift-JIS.
        "PERFORMER \"\xC0\xED\xF1\xE0\xEC\xE1\xEB\xFC\"\r\nFILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n"
        "    TITLE \"\xC2\xFC\xFE\xE3\xE0 \xED\xE0\xE4 \xEF\xEE\xEB\xE5\xEC\"\r\n    INDEX 01 00:00:00\r\n",
        "TITLE \"\x93\xFA\x96\x7B\x82\xCC\x89\xCC\"\nFILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n"
        "    TITLE \"\x82\xB3\x82\xAD\x82\xE7\"\n    INDEX 01 00:00:00\n",

        // UTF-16, little and big endian, with their byte-order marks.
        utf16("FILE \"a.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"Zw\xF6lf\"\r\n    INDEX 01 00:00:00\r\n"
              "  TRACK 02 AUDIO\r\n    INDEX 01 00:01:00\r\n",
              false),
        utf16("FILE \"b.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n", true),
    };
}

}  // namespace quoril::fuzz
