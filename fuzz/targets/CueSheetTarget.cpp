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
    };
}

}  // namespace quoril::fuzz
