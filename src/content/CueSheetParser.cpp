// The two cue sheet passes of CdDescriptor. Disc lines are recognised at column 1; in the track
// pass FILE, TRACK, TITLE and INDEX are recognised after any run of blanks and tabs. Keywords
// count only in capitals; everything else is skipped.
//
// Tracks are kept as starts only: a track lasts until the next track starts, across file
// boundaries, and the last one until the end of the last file. That covers both the sheet with
// one FILE line per group of tracks and the one that rippers write for "one file per track, gaps
// appended", where a track's pregap (INDEX 00) lies at the end of the previous file:
//
//   FILE "01.wav" WAVE
//     TRACK 01 AUDIO
//       INDEX 01 00:00:00
//     TRACK 02 AUDIO
//       INDEX 00 04:01:12      <- track 2 starts here, in 01.wav
//   FILE "02.wav" WAVE
//       INDEX 01 00:00:00      <- still track 2: 02.wav continues it
//     TRACK 03 AUDIO
//       INDEX 00 03:58:40      <- in a continued file the INDEX time counts
//
// A file whose FILE line is followed by its own TRACK line starts with that track at its frame 0.

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "content/CdDescriptor.h"
#include "platform/CFormat.h"
#include "platform/DiagnosticsLog.h"
#include "platform/Utf8Text.h"

namespace quoril {

namespace {

// One line as the runtime's text-mode line read hands it out: at most 1023 characters.
constexpr size_t kMaxLineChars = 1023;

bool startsWith(const std::string& line, const char* keyword) {
    return std::strncmp(line.c_str(), keyword, std::strlen(keyword)) == 0;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Where `keyword` stands after the line's leading blanks and tabs; npos when it does not.
size_t keywordAt(const std::string& line, const char* keyword) {
    size_t at = 0;
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    return line.compare(at, std::strlen(keyword), keyword) == 0 ? at : std::string::npos;
}

// The word that starts at or after `at` (after blanks and tabs); empty when there is none.
std::string wordAfter(const std::string& line, size_t at) {
    while (at < line.size() && isBlank(line[at])) {
        ++at;
    }
    size_t end = at;
    while (end < line.size() && !isBlank(line[end]) && line[end] != '\n' && line[end] != '\r') {
        ++end;
    }
    return line.substr(at, end - at);
}

// The quoted value of a line read with `format` (which ends in "\"%[^\"]"); empty when the
// line has no quoted text.
std::string scanQuoted(const char* line, const char* format) {
    char value[kMaxLineChars + 1] = "";
    if (std::sscanf(line, format, value) != 1) {
        return std::string();
    }
    return value;
}

// A FILE line (from its keyword) that names a file of data rather than audio: the word after
// the quoted name is BINARY or MOTOROLA. Such files and their tracks are not part of the disc.
bool isDataFile(const std::string& line, size_t at) {
    size_t open = line.find('"', at);
    size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close == std::string::npos) {
        return false;
    }
    std::string type = wordAfter(line, close + 1);
    return type == "BINARY" || type == "MOTOROLA";
}

// A TRACK line (from its keyword) whose type is given and is not AUDIO (MODE1/2352, ...).
bool isDataTrack(const std::string& line, size_t at) {
    size_t number = at + std::strlen("TRACK");
    while (number < line.size() && isBlank(line[number])) {
        ++number;
    }
    while (number < line.size() && !isBlank(line[number]) && line[number] != '\n') {
        ++number;
    }
    std::string type = wordAfter(line, number);
    return !type.empty() && type != "AUDIO";
}

// A two-digit decimal field at a 0-based column; -1 when the line does not hold one there.
int twoDigits(const std::string& line, size_t column) {
    if (line.size() < column + 2) {
        return -1;
    }
    char tens = line[column];
    char ones = line[column + 1];
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9') {
        return -1;
    }
    return (tens - '0') * 10 + (ones - '0');
}

// An INDEX line from its keyword: "INDEX nn mm:ss:ff", blanks and tabs between the parts.
struct IndexLine {
    int number = -1;        // nn; -1 when the line has none
    int64_t cdFrames = -1;  // the time in 1/75 s; -1 when it is not two digits each
};

IndexLine readIndexLine(const std::string& line, size_t at) {
    IndexLine index;
    size_t pos = at + std::strlen("INDEX");
    while (pos < line.size() && isBlank(line[pos])) {
        ++pos;
    }
    size_t digits = pos;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
        ++pos;
    }
    if (pos > digits && pos - digits <= 2) {
        index.number = static_cast<int>(cstrtol(line.c_str() + digits));
    }
    while (pos < line.size() && isBlank(line[pos])) {
        ++pos;
    }
    int minutes = twoDigits(line, pos);
    int seconds = twoDigits(line, pos + 3);
    int frames = twoDigits(line, pos + 6);
    if (minutes >= 0 && seconds >= 0 && frames >= 0) {
        index.cdFrames = (60 * minutes + seconds) * 75 + frames;
    }
    return index;
}

const char* const kInvalidTrackDetails = "\r\n\tInvalid track details in cue file.\r\n";

}  // namespace

std::string CdDescriptor::resolveCueFileName(const std::string& name) const {
    if (name.find(':') != std::string::npos || (!name.empty() && name[0] == '/')) {
        return name;
    }
    std::string relative = name;
    for (char& c : relative) {
        if (c == '\\') {
            c = '/';
        }
    }
    return cueDirectory + relative;
}

void CdDescriptor::enterCueFileName(int index, const std::string& name) {
    std::string asWritten = resolveCueFileName(name);
    std::string converted = resolveCueFileName(m_cueEncoding.toUtf8(name));
    std::error_code error;
    bool useWritten = converted == asWritten || std::filesystem::exists(asWritten, error);
    m_openPath[index] = useWritten ? asWritten : converted;
    filePath[index] = converted;
}

void CdDescriptor::ParseCueHeader() {
    std::string line;
    bool firstLine = true;
    bool inDataFile = false;  // after a FILE line of data, up to the next FILE line
    while (cueHandle.readLine(line, kMaxLineChars)) {
        // Rippers that write UTF-8 may start the sheet with a byte-order mark; it is not part
        // of the first line's keyword.
        if (firstLine && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            line.erase(0, 3);
        }
        firstLine = false;
        if (inDataFile && !startsWith(line, "FILE")) {
            continue;
        }
        inDataFile = false;
        if (startsWith(line, "REM GENRE")) {
            char value[kMaxLineChars + 1] = "";
            std::string text;
            if (std::sscanf(line.c_str(), "REM GENRE %[^\n]", value) == 1) {
                text = value;
                if (!text.empty() && text[0] == '"') {
                    text = scanQuoted(text.c_str(), "\"%[^\"]");
                }
            }
            genre = text.empty() ? "Unknown" : m_cueEncoding.toUtf8(text);
        } else if (startsWith(line, "PERFORMER")) {
            std::string text = scanQuoted(line.c_str(), "PERFORMER \"%[^\"]");
            performer = text.empty() ? "Unknown" : m_cueEncoding.toUtf8(text);
        } else if (startsWith(line, "TITLE")) {
            std::string text = scanQuoted(line.c_str(), "TITLE \"%[^\"]");
            albumTitle = text.empty() ? "Unknown" : m_cueEncoding.toUtf8(text);
        } else if (startsWith(line, "FILE")) {
            std::string name = scanQuoted(line.c_str(), "FILE \"%[^\"]");
            if (!name.empty() && isDataFile(line, 0)) {
                inDataFile = true;
            } else if (!name.empty()) {
                currentFile = 0;
                enterCueFileName(0, name);
                return;
            }
        }
    }
}

bool CdDescriptor::ParseCueTracks(DiagnosticsLog& messages) {
    // Frames from the current file's start to the last track start in it; -1 while no track has
    // started in it, so that its first track starts at its frame 0.
    int64_t previousIndex = -1;
    int64_t fileBase = 0;        // frames of all earlier files together
    bool indexTaken = false;     // the current track has its start
    bool dropping = false;       // tracks are dropped after a truncation, until the next FILE line
    bool trackExpected = false;  // a FILE line was handled and no TRACK line has followed yet
    bool inDataFile = false;     // skipping a data file, up to the next FILE line
    bool inDataTrack = false;    // skipping a data track, up to the next TRACK or FILE line

    // A track entered without an INDEX line has no start; the sheet is refused rather than
    // letting such a track cover audio it does not own.
    auto lastTrackHasStart = [&]() { return trackCount == 0 || indexTaken; };

    std::string line;
    while (cueHandle.readLine(line, kMaxLineChars)) {
        const size_t fileAt = keywordAt(line, "FILE");
        const size_t trackAt = keywordAt(line, "TRACK");
        const bool fileLine = fileAt != std::string::npos;
        const bool trackLine = trackAt != std::string::npos;

        if (inDataFile && !fileLine) {
            continue;
        }
        inDataFile = false;
        if (fileLine && isDataFile(line, fileAt)) {
            inDataFile = true;
            continue;
        }
        if (inDataTrack && !fileLine && !trackLine) {
            continue;
        }
        inDataTrack = false;
        if (trackLine && isDataTrack(line, trackAt)) {
            inDataTrack = true;
            continue;
        }

        if (dropping) {
            if (trackLine) {
                messages.appendf("\t\tIgnoring track %d\r\n",
                                 static_cast<int>(cstrtol(line.c_str() + trackAt + std::strlen("TRACK"))));
                continue;
            }
            if (!fileLine) {
                continue;
            }
            dropping = false;
        }

        if (fileLine) {
            if (currentFile + 1 >= kMaxFiles) {
                messages.appendf("\r\n\tCue file names more than %d files; the rest is ignored.\r\n",
                                 kMaxFiles);
                break;
            }
            // Once a track has started, a file without a TRACK line of its own continues it.
            if (trackExpected && trackCount == 0) {
                messages.appendf("\r\nA problem was encountered after track %d.\r\n", trackCount);
                messages.append(
                    "Cue contains FILE directive at incorrect location, 'TRACK' information expected.\r\n");
                return false;
            }
            std::string name = scanQuoted(line.c_str() + fileAt, "FILE \"%[^\"]");
            if (name.empty()) {
                messages.append("\r\nFILE directive contains NO or invalid file name.\r\n");
                return false;
            }
            if (!lastTrackHasStart()) {
                messages.append(kInvalidTrackDetails);
                return false;
            }
            fileBase = static_cast<int64_t>(fileFrameCount[currentFile] + static_cast<double>(fileBase));
            ++currentFile;
            enterCueFileName(currentFile, name);
            if (hasExtension(m_openPath[currentFile], ".wav")) {
                fileIsFlac[currentFile] = false;
                if (!ValidateWavFile(messages)) {
                    return false;
                }
            } else if (hasExtension(m_openPath[currentFile], ".flac")) {
                fileIsFlac[currentFile] = true;
                if (!ValidateFlacFile(messages)) {
                    return false;
                }
            } else {
                messages.appendf("\r\nContent file '%s' NOT supported (only WAV or FLAC supported).\r\n",
                                 filePath[currentFile].c_str());
                return false;
            }
            trackExpected = true;
            previousIndex = -1;
            continue;
        }

        if (trackLine) {
            if (trackCount >= kMaxTracks) {
                messages.appendf("\r\n\tCue file has more than %d tracks; the rest is ignored.\r\n",
                                 kMaxTracks);
                break;
            }
            if (!lastTrackHasStart()) {
                messages.append(kInvalidTrackDetails);
                return false;
            }
            ++trackCount;
            trackFile[trackCount - 1] = currentFile;
            trackTitle[trackCount - 1].clear();
            indexTaken = false;
            trackExpected = false;
            continue;
        }

        if (size_t at = keywordAt(line, "TITLE"); at != std::string::npos) {
            if (trackCount > 0) {
                // The text after `TITLE "`, without the closing quote and the line feed.
                size_t from = at + std::strlen("TITLE \"");
                size_t end = line.size() >= 2 ? line.size() - 2 : 0;
                std::string title = end > from ? line.substr(from, end - from) : std::string();
                trackTitle[trackCount - 1] = utf8Cut(m_cueEncoding.toUtf8(title), kMaxTitleChars);
            }
            continue;
        }

        if (size_t at = keywordAt(line, "INDEX"); at != std::string::npos) {
            if (trackCount == 0) {
                continue;
            }
            // Between a FILE line and the next TRACK line: the running track goes on in this
            // file, which therefore has a start at its frame 0 already.
            if (trackExpected) {
                previousIndex = 0;
                continue;
            }
            // Later INDEX lines of a track are ignored, so a track with a pregap starts at INDEX 00.
            if (indexTaken) {
                continue;
            }
            int64_t index = 0;
            if (previousIndex != -1) {
                IndexLine parsed = readIndexLine(line, at);
                if (parsed.cdFrames < 0) {
                    messages.append(kInvalidTrackDetails);
                    return false;
                }
                // In whole numbers: the same sum in floating point lands a frame early for many times.
                index = parsed.cdFrames * static_cast<int64_t>(sampleRate) / 75;
                if (index < previousIndex) {
                    messages.append(kInvalidTrackDetails);
                    return false;
                }
                // A track must not start in the last second of its file, where there would be
                // nothing to play; a pregap there is usual when the gap is appended to the
                // previous file, and only one that starts past the file is no start at all.
                bool pastTheEnd = parsed.number == 0 ? frameCount <= static_cast<double>(index)
                                                     : frameCount <= static_cast<double>(index) + sampleRate;
                if (pastTheEnd) {
                    messages.appendf(
                        "\r\n\tWav file is smaller than cue file track details. Tracks truncated to match "
                        "wav file.\r\n\t\tIgnoring track %d\r\n",
                        trackCount);
                    --trackCount;
                    indexTaken = true;
                    dropping = true;
                    continue;
                }
            }
            previousIndex = index;
            trackStart[trackCount - 1] = static_cast<int32_t>(fileBase + index);
            indexTaken = true;
            continue;
        }
    }

    if (!lastTrackHasStart()) {
        messages.append(kInvalidTrackDetails);
        return false;
    }
    const int64_t end = fileBase + static_cast<int64_t>(frameCount);
    if (trackCount == 0) {
        trackCount = 1;
        trackTitle[0] = "Track 01";
        trackFile[0] = currentFile;
        trackStart[0] = static_cast<int32_t>(fileBase);
    }
    for (int row = 0; row < trackCount; ++row) {
        int64_t next = row + 1 < trackCount ? trackStart[row + 1] : end;
        trackLength[row] = static_cast<int32_t>(next - trackStart[row]);
    }
    return true;
}

}  // namespace quoril
