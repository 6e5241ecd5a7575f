// WAV validation and loading for CdDescriptor. Only uncompressed PCM, stereo, 16 or 24 bits, at
// any rate is accepted; the store uses the layout of the "data" chunk, so audio bytes are read
// straight into it without conversion.

#include <sys/stat.h>
#include <unistd.h>

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

// The load reads blocks of kWavBlockFrames frames until a short block, or until it has read more
// than the declared frames (then it keeps the declared ones). Which blocks that gives follows from
// the file's size alone, so the plan is worked out here and the bytes are read by ranges,
// concurrently, straight into their place in the store.
int64_t CdDescriptor::PlanWavFile(int file, DiagnosticsLog& text, int64_t& dataOffset) const {
    FILE* handle = fileHandle[file];
    struct stat info {};
    dataOffset = handle != nullptr ? static_cast<int64_t>(ftello(handle)) : -1;
    if (dataOffset < 0 || blockAlign == 0 || fstat(fileno(handle), &info) != 0) {
        return -1;
    }
    const int64_t align = blockAlign;
    const int64_t available = std::max<int64_t>(0, static_cast<int64_t>(info.st_size) - dataOffset);
    const int64_t declared = static_cast<int64_t>(fileFrameCount[file]);
    const int64_t blockBytes = align * kWavBlockFrames;
    int64_t framesRead = 0;
    for (;;) {
        const int64_t got = std::min(blockBytes, available - framesRead * align);
        framesRead += got / align;
        const int64_t bytesRead = framesRead * align;
        if (bytesRead != 0 && bytesRead % kProgressReportBytes == 0) {
            text.appendf("\tprocessed to %iMB\r\n", static_cast<int>(bytesRead / 1048576));
        }
        if (got < blockBytes || framesRead > declared) {
            break;
        }
    }
    if (declared > framesRead) {
        text.appendf("\r\n\tWav file truncated: expected %d samples, processed %d samples.",
                     static_cast<int>(declared), static_cast<int>(framesRead));
    }
    if (declared < framesRead) {
        text.appendf("\r\n\tWav file overflow: expected %d samples, processed %d samples. Reset to expected.",
                     static_cast<int>(declared), static_cast<int>(framesRead));
        framesRead = declared;
    }
    return framesRead;
}

bool CdDescriptor::ReadWavRange(int file, int64_t dataOffset, uint8_t* region, int64_t first, int64_t end,
                                const std::atomic<bool>* stop) const {
    const int fd = fileHandle[file] != nullptr ? fileno(fileHandle[file]) : -1;
    const int64_t align = blockAlign;
    // Large reads: the copy out of the page cache and the first touch of the store's pages are
    // the whole cost, and fewer calls leave more of it to the copy.
    constexpr int64_t kReadBytes = 4 << 20;
    int64_t at = first * align;
    const int64_t to = end * align;
    while (at < to) {
        if (fd < 0 || (stop != nullptr && stop->load(std::memory_order_relaxed))) {
            return false;
        }
        const ssize_t got = pread(fd, region + at, static_cast<size_t>(std::min(kReadBytes, to - at)),
                                  static_cast<off_t>(dataOffset + at));
        if (got <= 0) {
            return false;
        }
        at += got;
    }
    return true;
}

void CdDescriptor::SettleWavTruncation(int file, int64_t fileStart, int64_t framesRead) {
    const int64_t declared = static_cast<int64_t>(fileFrameCount[file]);
    const int64_t shortfall = declared - framesRead;
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
