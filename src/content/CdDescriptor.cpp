#include "content/CdDescriptor.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>

#include "config/Settings.h"
#include "platform/DiagnosticsLog.h"
#include "platform/LockedMemory.h"
#include "platform/MemoryStatus.h"

namespace quoril {

namespace {

// A byte count as the memory messages show it: the low 32 bits of the value in whole MB.
unsigned megabytes(int64_t bytes) {
    return static_cast<uint32_t>(bytes >> 20);
}
unsigned megabytes(uint64_t bytes) {
    return static_cast<uint32_t>(bytes >> 20);
}

// Cue sheets are a few kilobytes; a file larger than this is no sheet, and only its beginning is read.
constexpr size_t kMaxCueSheetBytes = 16 * 1024 * 1024;

// The whole sheet, so that its encoding can be told before its lines are read.
bool readCueSheet(const std::string& path, std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    char block[65536];
    size_t got = 0;
    while (bytes.size() < kMaxCueSheetBytes && (got = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes.append(block, std::min(got, kMaxCueSheetBytes - bytes.size()));
    }
    std::fclose(file);
    return true;
}

}  // namespace

CdDescriptor::CdDescriptor(const std::string& path, DiagnosticsLog& log, Settings& settings)
    : m_log(log), m_settings(settings) {
    genre = "Unknown";
    albumTitle = "Unknown";
    performer = "Unknown";
    fileHandle.fill(nullptr);

    DiagnosticsLog firstFileText;
    DiagnosticsLog trackText;
    DiagnosticsLog memoryText;

    log.appendf("AUDIO source [ %s ]\r\n", path.c_str());
    sourcePath = path;
    size_t slash = path.find_last_of('/');
    cueDirectory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);

    if (path.empty()) {
        log.append("No Cue, Wav or Flac file requested for processing.\r\n");
        return;
    }

    if (hasExtension(path, ".cue")) {
        std::string sheet;
        if (!readCueSheet(path, sheet)) {
            log.appendf("Cue file '%s' NOT found.\r\n", path.c_str());
            return;
        }
        m_cueEncoding = CueEncoding(std::move(sheet));
        cueHandle.openText(m_cueEncoding.text());
        ParseCueHeader();
        if (currentFile == -1) {
            log.append("\r\nContent file NOT found!\r\n");
        } else {
            bool validated = false;
            if (hasExtension(filePath[0], ".wav")) {
                fileIsFlac[0] = false;
                validated = ValidateWavFile(firstFileText);
            } else if (hasExtension(filePath[0], ".flac")) {
                fileIsFlac[0] = true;
                validated = ValidateFlacFile(firstFileText);
            } else {
                log.append("\r\nContent file NOT supported (only WAV or FLAC supported).\r\n");
            }
            if (validated && ParseCueTracks(trackText)) {
                checkLengthAndMemory(memoryText);
            }
        }
        cueHandle.close();
    } else if (hasExtension(path, ".wav") || hasExtension(path, ".flac")) {
        bool flac = hasExtension(path, ".flac");
        performer = path;
        currentFile = 0;
        filePath[0] = path;
        m_openPath[0] = path;
        trackCount = 1;
        trackTitle[0] = "Track01";
        trackFile[0] = 0;
        trackStart[0] = 0;
        albumTitle = flac ? "FLAC" : "WAV";
        fileIsFlac[0] = flac;
        if (flac ? ValidateFlacFile(firstFileText) : ValidateWavFile(firstFileText)) {
            checkLengthAndMemory(memoryText);
            if (active) {
                trackLength[0] = static_cast<int32_t>(frameCount);
            }
        }
    } else {
        log.append("Only .cue, .wav or .flac files can be processed.\r\n");
        return;
    }

    log.append("\tGenre = " + genre + "\r\n");
    log.append("\tArtist = " + performer + "\r\n");
    log.append("\tAlbum = " + albumTitle + "\r\n");
    if (currentFile == -1) {
        log.append("\r\nCue file does not contain a FILE directive (.wav or .flac).\r\n");
    }
    log.append(firstFileText.snapshot());
    log.append(trackText.snapshot());
    log.append(memoryText.snapshot());
}

CdDescriptor::~CdDescriptor() {
    if (m_storeStart != nullptr) {
        if (physicalPageCount != 0) {
            ReleaseLockedMemory(m_storeStart);
        } else {
            unmapStoreMemory(m_storeStart, static_cast<size_t>(m_storeBytes));
        }
        m_storeStart = nullptr;
        audioData = nullptr;
    }
    for (FILE*& handle : fileHandle) {
        if (handle != nullptr) {
            std::fclose(handle);
            handle = nullptr;
        }
    }
}

CdTrack CdDescriptor::track(int row) const {
    CdTrack view;
    if (row < 0 || row >= trackCount || row >= kMaxTracks) {
        return view;
    }
    view.number = row + 1;
    view.title = trackTitle[row];
    view.start = trackStart[row];
    view.length = trackLength[row];
    view.file = trackFile[row];
    return view;
}

bool CdDescriptor::hasExtension(const std::string& path, const char* extension) {
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos) {
        return false;
    }
    return std::strncmp(path.c_str() + dot, extension, std::strlen(extension)) == 0;
}

void CdDescriptor::capitaliseExtension(std::string& path) {
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos) {
        return;
    }
    for (size_t i = dot + 1; i < path.size(); ++i) {
        path[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(path[i])));
    }
}

FILE* CdDescriptor::openCurrentFile(DiagnosticsLog& messages, const char* notFoundText) {
    messages.append("\r\n     FILE: " + filePath[currentFile] + "\r\n");
    capitaliseExtension(filePath[currentFile]);
    if (m_openPath[currentFile].size() > kMaxPathChars) {
        messages.appendf("\r\nFile path is too long (at most %u characters are supported).\r\n",
                         static_cast<unsigned>(kMaxPathChars));
        return nullptr;
    }
    FILE* handle = std::fopen(m_openPath[currentFile].c_str(), "rb");
    if (handle == nullptr) {
        messages.append(notFoundText);
    }
    return handle;
}

void CdDescriptor::refreshMemoryFigures() {
    MemoryStatus status;
    if (!readMemoryStatus(status)) {
        status = MemoryStatus{};
    }
    m_settings.availableMemory = static_cast<int64_t>(status.availableBytes) - kMemoryReserve;
    m_settings.totalMemory = status.totalBytes;
}

void CdDescriptor::checkLengthAndMemory(DiagnosticsLog& memoryText) {
    double frames = 0;
    int64_t bytes = 0;
    for (int i = 0; i <= currentFile; ++i) {
        frames += fileFrameCount[i];
        bytes += fileByteCount[i];
    }
    frameCount = frames;
    byteCount = bytes + kTailBytes;

    if (frameCount < 2 * sampleRate) {
        memoryText.append(
            "\r\nAt least 2 or more seconds of sound data is needed. Wav file is too small.\r\n");
        active = false;
        return;
    }

    // Positions, track starts and the load counter are 32-bit frame counts.
    if (frameCount > static_cast<double>(std::numeric_limits<int32_t>::max())) {
        memoryText.appendf("\r\nDisc is too long: at most %d samples are supported.\r\n",
                           std::numeric_limits<int32_t>::max());
        active = false;
        return;
    }

    refreshMemoryFigures();
    if (byteCount > m_settings.availableMemory) {
        memoryText.appendf(
            "\r\nWav data is too large!\r\n\tPhysical (%uMB), Available (%uMB), Required (%uMB).\r\n",
            megabytes(m_settings.totalMemory), megabytes(m_settings.availableMemory), megabytes(byteCount));
        active = false;
        return;
    }

    uint8_t* store = nullptr;
    if (m_settings.useAwe) {
        store = AllocateLockedMemory(byteCount);
        if (store != nullptr) {
            memoryText.append("\r\n     AWE sucessful\r\n");
        } else {
            memoryText.append("\r\n     AWE failed, reverting to standard allocation\r\n");
        }
    }
    if (store == nullptr) {
        physicalPageCount = 0;
        store = mapStoreMemory(static_cast<size_t>(byteCount));
    }
    if (store == nullptr) {
        memoryText.appendf(
            "\r\nWINDOWS memory allocation failed!\r\n\tPhysical (%uMB), Available (%uMB), Required "
            "(%uMB).\r\n",
            megabytes(m_settings.totalMemory), megabytes(m_settings.availableMemory), megabytes(byteCount));
        active = false;
        return;
    }
    m_storeStart = store;
    m_storeBytes = byteCount;
    audioData = store;
    memoryText.appendf("\r\n     RAM allocation (%uMB) successful\r\n", megabytes(byteCount));
    active = true;
}

uint8_t* CdDescriptor::AllocateLockedMemory(int64_t bytes) {
    if (bytes <= 0) {
        return nullptr;
    }
    size_t pageSize = systemPageSize();
    uint64_t pages = (static_cast<uint64_t>(bytes) + pageSize - 1) / pageSize;
    physicalPageCount = static_cast<uint32_t>(pages);
    uint8_t* address = mapLockedMemory(static_cast<size_t>(bytes));
    if (address == nullptr) {
        physicalPageCount = 0;
        return nullptr;
    }
    m_storeBytes = bytes;
    return address;
}

void CdDescriptor::ReleaseLockedMemory(uint8_t* address) {
    if (address == nullptr) {
        return;
    }
    unmapLockedMemory(address, static_cast<size_t>(m_storeBytes));
    physicalPageCount = 0;
}

}  // namespace quoril
