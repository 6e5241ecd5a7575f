// The two cue sheet passes of CdDescriptor. The parser is column-exact: keywords are recognised
// only in capitals at fixed indentation (disc lines at column 1, TRACK after two spaces, TITLE and
// INDEX after four); everything else is skipped.

#include <cstdio>
#include <cstring>

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

// The quoted value of a line read with `format` (which ends in "\"%[^\"]"); empty when the
// line has no quoted text.
std::string scanQuoted(const std::string& line, const char* format) {
    char value[kMaxLineChars + 1] = "";
    if (std::sscanf(line.c_str(), format, value) != 1) {
        return std::string();
    }
    return value;
}

// A two-digit decimal field at a fixed 0-based column; -1 when the line does not hold one there.
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

void CdDescriptor::ParseCueHeader() {
    std::string line;
    bool firstLine = true;
    while (cueHandle.readLine(line, kMaxLineChars)) {
        // Rippers that write UTF-8 may start the sheet with a byte-order mark; it is not part
        // of the first line's keyword.
        if (firstLine && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            line.erase(0, 3);
        }
        firstLine = false;
        if (startsWith(line, "REM GENRE")) {
            char value[kMaxLineChars + 1] = "";
            std::string text;
            if (std::sscanf(line.c_str(), "REM GENRE %[^\n]", value) == 1) {
                text = value;
                if (!text.empty() && text[0] == '"') {
                    text = scanQuoted(text, "\"%[^\"]");
                }
            }
            genre = text.empty() ? "Unknown" : text;
        } else if (startsWith(line, "PERFORMER")) {
            std::string text = scanQuoted(line, "PERFORMER \"%[^\"]");
            performer = text.empty() ? "Unknown" : text;
        } else if (startsWith(line, "TITLE")) {
            std::string text = scanQuoted(line, "TITLE \"%[^\"]");
            albumTitle = text.empty() ? "Unknown" : text;
        } else if (startsWith(line, "FILE")) {
            std::string name = scanQuoted(line, "FILE \"%[^\"]");
            if (!name.empty()) {
                currentFile = 0;
                m_openPath[0] = resolveCueFileName(name);
                filePath[0] = m_openPath[0];
                return;
            }
        }
    }
}

bool CdDescriptor::ParseCueTracks(DiagnosticsLog& messages) {
    int64_t previousIndex = -1;  // frames from the current file's start to the last track start
    int64_t fileBase = 0;        // frames of all earlier files together
    bool indexTaken = false;     // the current track has its start
    bool dropping = false;       // tracks are dropped after a truncation, until the next FILE line
    bool trackExpected = false;  // a FILE line was handled and no TRACK line has followed yet

    // A track entered without an INDEX line has no start; the sheet is refused rather than
    // letting such a track cover audio it does not own.
    auto lastTrackHasStart = [&]() { return trackCount == 0 || indexTaken; };

    std::string line;
    while (cueHandle.readLine(line, kMaxLineChars)) {
        bool fileLine = startsWith(line, "FILE");
        bool trackLine = startsWith(line, "  TRACK");

        if (dropping) {
            if (trackLine) {
                messages.appendf("\t\tIgnoring track %d\r\n", static_cast<int>(cstrtol(line.c_str() + 8)));
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
            if (trackExpected) {
                messages.appendf("\r\nA problem was encountered after track %d.\r\n", trackCount);
                messages.append(
                    "Cue contains FILE directive at incorrect location, 'TRACK' information expected.\r\n");
                return false;
            }
            std::string name = scanQuoted(line, "FILE \"%[^\"]");
            if (name.empty()) {
                messages.append("\r\nFILE directive contains NO or invalid file name.\r\n");
                return false;
            }
            if (!lastTrackHasStart()) {
                messages.append(kInvalidTrackDetails);
                return false;
            }
            if (trackCount > 0 && previousIndex >= 0) {
                trackLength[trackCount - 1] =
                    static_cast<int32_t>(static_cast<int64_t>(frameCount) - previousIndex);
            }
            fileBase = static_cast<int64_t>(fileFrameCount[currentFile] + static_cast<double>(fileBase));
            ++currentFile;
            m_openPath[currentFile] = resolveCueFileName(name);
            filePath[currentFile] = m_openPath[currentFile];
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
                                 m_openPath[currentFile].c_str());
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

        if (startsWith(line, "    TITLE")) {
            if (trackCount > 0) {
                // Drop the closing quote and the line feed; the title starts after the opening quote.
                size_t end = line.size() >= 2 ? line.size() - 2 : 0;
                std::string title = end > 11 ? line.substr(11, end - 11) : std::string();
                trackTitle[trackCount - 1] = utf8Cut(title, kMaxTitleChars);
            }
            continue;
        }

        if (startsWith(line, "    INDEX")) {
            // Later INDEX lines of a track are ignored, so a track with a pregap starts at INDEX 00.
            if (trackCount == 0 || indexTaken) {
                continue;
            }
            int64_t index = 0;
            if (previousIndex != -1) {
                int minutes = twoDigits(line, 13);
                int seconds = twoDigits(line, 16);
                int frames = twoDigits(line, 19);
                if (minutes < 0 || seconds < 0 || frames < 0) {
                    messages.append(kInvalidTrackDetails);
                    return false;
                }
                // In whole numbers: the same sum in floating point lands a frame early for many times.
                int64_t cdFrames = (60 * minutes + seconds) * 75 + frames;
                index = cdFrames * static_cast<int64_t>(sampleRate) / 75;
                if (index < previousIndex) {
                    messages.append(kInvalidTrackDetails);
                    return false;
                }
                trackLength[trackCount - 2] = static_cast<int32_t>(index - previousIndex);
                if (frameCount <= static_cast<double>(index) + sampleRate) {
                    messages.appendf(
                        "\r\n\tWav file is smaller than cue file track details. Tracks truncated to match "
                        "wav "
                        "file.\r\n\t\tIgnoring track %d\r\n",
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
    if (trackCount == 0) {
        trackCount = 1;
        trackTitle[0] = "Track 01";
        trackFile[0] = currentFile;
        trackStart[0] = static_cast<int32_t>(fileBase);
        trackLength[0] = static_cast<int32_t>(static_cast<int64_t>(frameCount));
    } else if (previousIndex >= 0) {
        trackLength[trackCount - 1] = static_cast<int32_t>(static_cast<int64_t>(frameCount) - previousIndex);
    }
    return true;
}

}  // namespace quoril
