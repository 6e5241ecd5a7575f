#include "content/FlacContentDecoder.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "platform/DiagnosticsLog.h"

namespace quoril {

namespace {

constexpr int64_t kProgressReportBytes = 104857600;
constexpr int64_t kMaxFlacFileBytes = 2147483648LL;

unsigned megabytes(int64_t bytes) {
    return static_cast<uint32_t>(bytes >> 20);
}

// The decoder hands each channel as 32-bit integers; the store wants packed little-endian frames.
// Whole-word stores keep this loop a small part of the decode.
void store16(uint8_t* out, const FLAC__int32* left, const FLAC__int32* right, uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i) {
        const uint32_t l = static_cast<uint32_t>(left[i]);
        const uint32_t r = static_cast<uint32_t>(right[i]);
        if constexpr (std::endian::native == std::endian::little) {
            const uint32_t frame = (l & 0xFFFF) | (r << 16);
            std::memcpy(out, &frame, 4);
        } else {
            out[0] = static_cast<uint8_t>(l);
            out[1] = static_cast<uint8_t>(l >> 8);
            out[2] = static_cast<uint8_t>(r);
            out[3] = static_cast<uint8_t>(r >> 8);
        }
        out += 4;
    }
}

void store24Bytes(uint8_t* out, uint32_t l, uint32_t r) {
    out[0] = static_cast<uint8_t>(l);
    out[1] = static_cast<uint8_t>(l >> 8);
    out[2] = static_cast<uint8_t>(l >> 16);
    out[3] = static_cast<uint8_t>(r);
    out[4] = static_cast<uint8_t>(r >> 8);
    out[5] = static_cast<uint8_t>(r >> 16);
}

void store24(uint8_t* out, const FLAC__int32* left, const FLAC__int32* right, uint32_t frames) {
    uint32_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // An 8-byte store per 6-byte frame: its last two bytes fall on the next frame, which the
        // next store overwrites. The last frame is written byte by byte, so nothing is written
        // past this call's frames.
        for (; i + 1 < frames; ++i) {
            const uint64_t frame = (static_cast<uint64_t>(static_cast<uint32_t>(left[i]) & 0xFFFFFF)) |
                                   (static_cast<uint64_t>(static_cast<uint32_t>(right[i]) & 0xFFFFFF) << 24);
            std::memcpy(out, &frame, 8);
            out += 6;
        }
    }
    for (; i < frames; ++i) {
        store24Bytes(out, static_cast<uint32_t>(left[i]), static_cast<uint32_t>(right[i]));
        out += 6;
    }
}

}  // namespace

FlacContentDecoder::FlacContentDecoder(bool decodeSamples_, DiagnosticsLog& messages_, CdDescriptor& disc_,
                                       std::atomic<int32_t>& frameCounter_, const std::atomic<bool>* stop)
    : decodeSamples(decodeSamples_),
      messages(&messages_),
      disc(&disc_),
      frameCounter(&frameCounter_),
      m_stop(stop) {}

::FLAC__StreamDecoderWriteStatus FlacContentDecoder::reject(const char* text) {
    disc->active = false;
    disc->decodeError = true;
    messages->append(text);
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
}

::FLAC__StreamDecoderWriteStatus FlacContentDecoder::write_callback(const ::FLAC__Frame* frame,
                                                                    const FLAC__int32* const buffer[]) {
    if (m_totalSamples == 0 || m_sampleRate == 0) {
        return reject(
            "\r\nERROR: only works for FLAC files that have a total_samples count in STREAMINFO\r\n");
    }
    // A frame may carry another channel count than STREAMINFO states; one without a right
    // channel has no samples to take for it.
    if (m_channels != 2 || (m_bitsPerSample != 16 && m_bitsPerSample != 24) || frame->header.channels != 2) {
        return reject("\r\nOnly Stereo 16 or 24 bit FLAC files supported!\r\n");
    }

    CdDescriptor& d = *disc;
    // The library numbers each frame by its first sample, so the first frame normally carries
    // sample 0; the first frame this decode sees is taken as the file's start either way.
    if (!m_sawFirstFrame) {
        m_sawFirstFrame = true;
        m_position = 0;
        frameCounter->store(0, std::memory_order_relaxed);
        const uint32_t align = m_bitsPerSample == 16 ? 4 : 6;
        d.frameCount = static_cast<double>(m_totalSamples);
        d.byteCount = static_cast<int64_t>(m_totalSamples) * align;
        if (d.currentFile == 0) {
            d.sampleRate = m_sampleRate;
            d.bitsPerSample = m_bitsPerSample;
            d.channels = 2;
        } else if (d.bitsPerSample != m_bitsPerSample || d.sampleRate != m_sampleRate ||
                   d.channels != m_channels) {
            // The disc keeps its own frame size: the store is laid out in it.
            return reject("\r\n\r\nBad multi-file cue sheet: Wav format is inconsistent.\r\n");
        }
        d.blockAlign = align;
        if (!decodeSamples) {
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
    }
    if (m_stop != nullptr && m_stop->load(std::memory_order_relaxed)) {
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    if (d.audioData == nullptr) {
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }

    // Never past the file's declared length, nor past the store: a stream that holds more
    // samples than its STREAMINFO says loses the excess.
    const int64_t align = d.blockAlign;
    const int64_t roomInStore = (d.storeStart() + d.storeBytes() - d.audioData) / align;
    const int64_t limit = std::min<int64_t>(static_cast<int64_t>(m_totalSamples), roomInStore);
    const int64_t frames = std::clamp<int64_t>(limit - m_position, 0, frame->header.blocksize);
    uint8_t* out = d.audioData + m_position * align;
    if (align == 4) {
        store16(out, buffer[0], buffer[1], static_cast<uint32_t>(frames));
    } else {
        store24(out, buffer[0], buffer[1], static_cast<uint32_t>(frames));
    }
    m_position += frames;
    frameCounter->store(static_cast<int32_t>(m_position), std::memory_order_relaxed);

    const int64_t bytes = m_position * align;
    if (frames > 0 && bytes % kProgressReportBytes == 0) {
        messages->appendf("\tprocessed to %iMB\r\n", static_cast<int>(bytes / 1048576));
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void FlacContentDecoder::metadata_callback(const ::FLAC__StreamMetadata* metadata) {
    if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
        m_totalSamples = metadata->data.stream_info.total_samples;
        m_sampleRate = metadata->data.stream_info.sample_rate;
        m_channels = metadata->data.stream_info.channels;
        m_bitsPerSample = metadata->data.stream_info.bits_per_sample;
    }
}

void FlacContentDecoder::error_callback(::FLAC__StreamDecoderErrorStatus status) {
    messages->appendf("FLAC ERROR: %s\r\n", FLAC__StreamDecoderErrorStatusString[status]);
}

bool CdDescriptor::ValidateFlacFile(DiagnosticsLog& messages) {
    const int file = currentFile;
    FILE* handle = openCurrentFile(messages, "\r\nFLAC file NOT found!\r\n");
    if (handle == nullptr) {
        return false;
    }
    int64_t fileBytes = 0;
    if (fseeko(handle, 0, SEEK_END) == 0) {
        fileBytes = static_cast<int64_t>(ftello(handle));
    }
    std::fclose(handle);
    byteCount = fileBytes;
    frameCount = 10000;  // stands until the first audio frame is seen
    messages.appendf("\tFLAC file size = %uMB (decoded during RAM load, RAM for 'Wav data' is allocated)\r\n",
                     static_cast<unsigned>(fileBytes / 1048576));

    refreshMemoryFigures();
    if (fileBytes > m_settings.availableMemory || fileBytes > kMaxFlacFileBytes) {
        messages.appendf(
            "\r\nFLAC file is too large!\r\n\tPhysical (%uMB), Available (%uMB), Minimum Required (%uMB), "
            "Max "
            "supported (%uMB).\r\n",
            megabytes(static_cast<int64_t>(m_settings.totalMemory)), megabytes(m_settings.availableMemory),
            megabytes(fileBytes), 2048u);
        return false;
    }

    DiagnosticsLog decoderText;
    std::atomic<int32_t> counter{0};
    FlacContentDecoder decoder(false, decoderText, *this, counter);
    decodeError = false;
    if (!decoder.is_valid()) {
        messages.append("\r\nCannot create FLAC decoder for validation.\r\n");
        return false;
    }
    ::FLAC__StreamDecoderInitStatus status = decoder.init(m_openPath[file]);
    if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        messages.appendf("\r\nCannot initialize FLAC content file for validation, error: %s\r\n",
                         FLAC__StreamDecoderInitStatusString[status]);
        return false;
    }
    decoder.process_until_end_of_stream();
    if (!decoder.sawAudioFrame() && !decodeError) {
        // A stream that ends before its first audio frame tells neither the format nor the length.
        decodeError = true;
        decoderText.append("\r\nFLAC file holds no audio frame.\r\n");
    }

    // STREAMINFO counts samples in 36 bits: the line shows the low 32 bits of the count, and the
    // conversions go through 64 bits so that no count is out of range for them.
    const auto frames = static_cast<uint32_t>(static_cast<uint64_t>(frameCount));
    const auto seconds =
        sampleRate > 0 ? static_cast<uint32_t>(static_cast<uint64_t>(frameCount / sampleRate)) : 0u;
    messages.appendf("\tWav data size = %uMB\r\n\tRate = %i/%i (%i channels)\r\n\tSamples = %u (%3i:%2i)\r\n",
                     megabytes(byteCount), static_cast<int>(bitsPerSample), static_cast<int>(sampleRate),
                     static_cast<int>(channels), frames, static_cast<int>(seconds / 60),
                     static_cast<int>(seconds % 60));
    messages.append(decoderText.snapshot());

    if (decodeError) {
        return false;
    }
    fileByteCount[file] = byteCount;
    fileFrameCount[file] = frameCount;
    if (channels == 2 && (bitsPerSample == 16 || bitsPerSample == 24)) {
        return true;
    }
    messages.append("\r\nOnly stereo 16 or 24 bit FLAC files supported!\r\n");
    return false;
}

void CdDescriptor::DecodeFlacFile(std::atomic<int32_t>& progress, DiagnosticsLog& log,
                                  const std::atomic<bool>* stop) {
    log.append("\tFLAC decoding...\r\n");
    FlacContentDecoder decoder(true, log, *this, progress, stop);
    decodeError = false;
    if (!decoder.is_valid()) {
        // The file stays silent; the load goes on with the next file.
        log.append("\r\nCannot create FLAC decoder.\r\n");
        return;
    }
    decoder.set_md5_checking(true);
    ::FLAC__StreamDecoderInitStatus status = decoder.init(m_openPath[currentFile]);
    if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        log.appendf("\r\nCannot initialize FLAC content file, error: %s\r\n",
                    FLAC__StreamDecoderInitStatusString[status]);
        return;
    }
    bool decoded = decoder.process_until_end_of_stream();
    if (!decoded || decodeError || (stop != nullptr && stop->load(std::memory_order_relaxed))) {
        return;
    }
    // finish() compares the decoded audio with the MD5 signature of the file, when it has one.
    if (!decoder.finish()) {
        log.append("\tFLAC MD5 mismatch: decoded audio differs from the signature in the file.\r\n");
    }
    active = true;
    const int64_t written = decoder.framesWritten() * blockAlign;
    uint8_t* fillFrom = audioData + written;
    uint8_t* fillTo = std::min(audioData + byteCount, m_storeStart + m_storeBytes);
    if (fillFrom < fillTo) {
        std::memset(fillFrom, 0, static_cast<size_t>(fillTo - fillFrom));
    }
}

}  // namespace quoril
