// WAV validation and loading for CdDescriptor. Only uncompressed PCM, stereo, 16 or 24 bits, at
// any rate is accepted; the store uses the layout of the "data" chunk, so audio bytes are read
// straight into it without conversion.

#include <algorithm>
#include <cctype>
#include <cstring>

#include "content/CdDescriptor.h"
#include "platform/DiagnosticsLog.h"

namespace quoril {

namespace {

constexpr int kMaxSkippedChunks = 48;
constexpr uint32_t kMaxChunkBeforeFormat = 10240;
constexpr int32_t kMaxFormatChunk = 10256;
constexpr uint32_t kMaxChunkBeforeData = 65536;
constexpr int64_t kProgressReportBytes = 104857600;

struct ChunkHeader {
    char id[4] = {0, 0, 0, 0};
    uint32_t size = 0;
};

uint32_t le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A header that cannot be read (end of file) reads as an empty identifier of size 0, so the
// chunk walk ends by its count limit.
ChunkHeader readChunkHeader(FILE* file) {
    uint8_t bytes[8] = {};
    ChunkHeader header;
    if (std::fread(bytes, 1, sizeof bytes, file) == sizeof bytes) {
        std::memcpy(header.id, bytes, 4);
        header.size = le32(bytes + 4);
    }
    return header;
}

bool isChunk(const ChunkHeader& header, const char* id) {
    return std::memcmp(header.id, id, 4) == 0;
}

// Skips a chunk body and, for an odd size, the pad byte that keeps chunks at even offsets.
void skipBody(FILE* file, uint64_t size) {
    fseeko(file, static_cast<off_t>(size + (size & 1)), SEEK_CUR);
}

// Walks from `header` to the chunk named id, skipping at most kMaxSkippedChunks others, each no
// larger than limit, and leaves `header` at the chunk where the walk stopped. Returns nullptr when
// the chunk was found, else the refusal text for how the walk failed.
const char* walkToChunk(FILE* file, ChunkHeader& header, const char* id, uint32_t limit, const char* tooLarge,
                        const char* missing) {
    for (int skipped = 0; skipped < kMaxSkippedChunks && !isChunk(header, id); ++skipped) {
        if (header.size > limit) {
            return tooLarge;
        }
        skipBody(file, header.size);
        header = readChunkHeader(file);
    }
    return isChunk(header, id) ? nullptr : missing;
}

}  // namespace

bool CdDescriptor::ValidateWavFile(DiagnosticsLog& messages) {
    const int file = currentFile;
    FILE* handle = openCurrentFile(messages, "\r\nWav file NOT found!\r\n");
    if (handle == nullptr) {
        return false;
    }
    auto refuse = [&](const char* text) {
        std::fclose(handle);
        messages.append(text);
        return false;
    };

    uint8_t riff[12] = {};
    if (std::fread(riff, 1, sizeof riff, handle) != sizeof riff || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return refuse("\r\nWav file structure is NOT supported, 'RIFF' and/or 'WAVE' tag is missing.\r\n");
    }

    ChunkHeader header = readChunkHeader(handle);
    if (const char* refusal = walkToChunk(
            handle, header, "fmt ", kMaxChunkBeforeFormat,
            "\r\nWav file structure is NOT supported, internal chunk larger than 10240 bytes!\r\n",
            "\r\nWav file structure is NOT supported, format chunk not found.\r\n")) {
        return refuse(refusal);
    }

    uint8_t format[16] = {};
    if (std::fread(format, 1, sizeof format, handle) != sizeof format) {
        std::memset(format, 0, sizeof format);
    }
    const int32_t formatSize = static_cast<int32_t>(header.size);
    if (formatSize < 16 || formatSize > kMaxFormatChunk) {
        return refuse("\r\nWav file structure is NOT supported, unexpected format chunk size.\r\n");
    }
    if (formatSize > 16) {
        skipBody(handle, static_cast<uint64_t>(formatSize) - 16);
    }
    const uint16_t formatTag = le16(format);
    const uint16_t fileChannels = le16(format + 2);
    const uint32_t fileRate = le32(format + 4);
    const uint16_t fileBlockAlign = le16(format + 12);
    const uint16_t fileBits = le16(format + 14);

    if (fileBlockAlign != (fileBits / 8) * fileChannels) {
        return refuse("\r\nWav file is invalid or corrupted, invalid block size specified.\r\n");
    }

    header = readChunkHeader(handle);
    if (const char* refusal =
            walkToChunk(handle, header, "data", kMaxChunkBeforeData,
                        "\r\nWav file structure is NOT supported, internal chunk larger than 64KB bytes!\r\n",
                        "\r\nWav file structure is NOT supported, too many internal chunks!\r\n")) {
        return refuse(refusal);
    }

    if (formatTag != 1 || fileChannels != 2 || (fileBits != 16 && fileBits != 24)) {
        return refuse(
            "\r\nWav file is NOT supported.\r\nOnly 16 or 24 bit uncompressed stereo (at any sample rate) is "
            "supported.\r\n");
    }
    const int32_t dataSize = static_cast<int32_t>(header.size);
    if (fileBlockAlign == 0 || fileRate == 0 || dataSize < 0) {
        return refuse("\r\nWav file is corrupted or invalid.\r\n");
    }

    byteCount = dataSize;
    const uint32_t frames = static_cast<uint32_t>(dataSize) / fileBlockAlign;
    const uint32_t seconds = frames / fileRate;
    messages.appendf("\tWav file size = %uMB\r\n", static_cast<unsigned>(dataSize / 1048576));
    messages.appendf("\tRate = %i/%i (%i channels)\r\n\tSamples = %u (%3i:%2i)\r\n",
                     static_cast<int>(fileBits), static_cast<int>(fileRate), static_cast<int>(fileChannels),
                     frames, static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));

    fileHandle[file] = handle;
    fileByteCount[file] = dataSize;
    fileFrameCount[file] = static_cast<double>(dataSize) / fileBlockAlign;
    frameCount = fileFrameCount[file];

    if (file == 0) {
        bitsPerSample = fileBits;
        sampleRate = fileRate;
        channels = fileChannels;
        blockAlign = fileBlockAlign;
    } else if (bitsPerSample != fileBits || sampleRate != fileRate || channels != fileChannels ||
               blockAlign != fileBlockAlign) {
        // The file stays open; the disc's release closes it.
        messages.append("\r\n\r\nBad multi-file cue sheet: Wav format is inconsistent.\r\n");
        return false;
    }
    return true;
}

void CdDescriptor::ReadWavFile(std::atomic<int32_t>& progress, DiagnosticsLog& log,
                               const std::atomic<bool>* stop) {
    const int file = currentFile;
    FILE* handle = fileHandle[file];
    if (handle == nullptr || audioData == nullptr || blockAlign == 0) {
        return;
    }
    const size_t blockBytes = static_cast<size_t>(blockAlign) * kWavBlockFrames;
    uint8_t* const storeEnd = m_storeStart + m_storeBytes;
    int64_t framesRead = 0;

    for (;;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            std::fclose(handle);
            fileHandle[file] = nullptr;
            return;
        }
        uint8_t* target = audioData + framesRead * blockAlign;
        // The tail of the store takes the one block that a file longer than declared reads past
        // its region; the clamp only guards against a store smaller than the layout promises.
        size_t room = target < storeEnd ? static_cast<size_t>(storeEnd - target) : 0;
        size_t wanted = std::min(blockBytes, room);
        size_t got = wanted > 0 ? std::fread(target, 1, wanted, handle) : 0;
        int64_t blockFrames = static_cast<int64_t>(got / blockAlign);
        framesRead += blockFrames;
        int64_t bytesRead = framesRead * blockAlign;
        if (bytesRead != 0 && bytesRead % kProgressReportBytes == 0) {
            log.appendf("\tprocessed to %iMB\r\n", static_cast<int>(bytesRead / 1048576));
        }
        if (std::feof(handle) || got < blockBytes || static_cast<double>(framesRead) > frameCount) {
            break;
        }
        progress.fetch_add(static_cast<int32_t>(blockFrames), std::memory_order_relaxed);
    }
    std::fclose(handle);
    fileHandle[file] = nullptr;

    if (frameCount > static_cast<double>(framesRead)) {
        log.appendf("\r\n\tWav file truncated: expected %d samples, processed %d samples.",
                    static_cast<int>(frameCount), static_cast<int>(framesRead));
        frameCount = static_cast<double>(framesRead);
        settleTracksAfterTruncation(framesRead);
    }
    if (frameCount < static_cast<double>(framesRead)) {
        log.appendf("\r\n\tWav file overflow: expected %d samples, processed %d samples. Reset to expected.",
                    static_cast<int>(frameCount), static_cast<int>(framesRead));
        framesRead = static_cast<int64_t>(frameCount);
    }

    uint8_t* fillFrom = audioData + framesRead * blockAlign;
    uint8_t* fillTo = std::min(audioData + byteCount, storeEnd);
    if (fillFrom < fillTo) {
        std::memset(fillFrom, 0, static_cast<size_t>(fillTo - fillFrom));
    }
}

// After a short file: no track of this file may reach past the frames loaded, and the later
// files, which the load places right after those frames, start earlier by the shortfall. The
// file's own counts become what was loaded, so the disc's totals describe the store.
void CdDescriptor::settleTracksAfterTruncation(int64_t framesRead) {
    const int file = currentFile;
    const int64_t declared = static_cast<int64_t>(fileFrameCount[file]);
    const int64_t shortfall = declared - framesRead;
    const int64_t fileStart = (audioData - m_storeStart) / blockAlign;
    const int64_t fileEnd = fileStart + framesRead;

    // A track may run across file boundaries, so both of its ends are moved: a position within
    // the frames that were loaded stays, one in the missing part comes to the end of what was
    // loaded, one in a later file moves back by the shortfall.
    const int64_t declaredEnd = fileStart + declared;
    auto settle = [&](int64_t position) {
        if (position <= fileEnd) {
            return position;
        }
        return position <= declaredEnd ? fileEnd : position - shortfall;
    };
    for (int row = 0; row < trackCount && row < kMaxTracks; ++row) {
        int64_t start = settle(trackStart[row]);
        int64_t end = settle(static_cast<int64_t>(trackStart[row]) + trackLength[row]);
        trackStart[row] = static_cast<int32_t>(start);
        trackLength[row] = static_cast<int32_t>(std::max<int64_t>(end - start, 0));
    }
    fileFrameCount[file] = static_cast<double>(framesRead);
    fileByteCount[file] = framesRead * blockAlign;
}

}  // namespace quoril
