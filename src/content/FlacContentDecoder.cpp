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

FlacContentDecoder::FlacContentDecoder(DiagnosticsLog& messages, CdDescriptor& disc, FlacDecodeTarget* target)
    : m_messages(messages), m_disc(disc), m_target(target) {}

void FlacContentDecoder::say(const char* text) {
    flushRepeatedErrors();
    m_messages.append(text);
}

void FlacContentDecoder::flushRepeatedErrors() {
    if (m_repeats > 0) {
        m_messages.appendf("\t(repeated %d times)\r\n", m_repeats);
    }
    m_repeats = 0;
    m_lastError = -1;
}

::FLAC__StreamDecoderWriteStatus FlacContentDecoder::reject(const char* text) {
    if (m_target != nullptr) {
        m_target->rejected = true;
    } else {
        m_disc.active = false;
        m_disc.decodeError = true;
    }
    say(text);
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
}

::FLAC__StreamDecoderWriteStatus FlacContentDecoder::irregular() {
    m_target->irregular = true;
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
}

// The stream's first audio frame tells its format and length, which validation records in the
// disc and a load compares with the disc's.
::FLAC__StreamDecoderWriteStatus FlacContentDecoder::firstFrame() {
    m_sawFirstFrame = true;
    m_position = 0;
    m_align = m_bitsPerSample == 16 ? 4 : 6;
    if (m_target == nullptr) {
        CdDescriptor& d = m_disc;
        d.frameCount = static_cast<double>(m_totalSamples);
        d.byteCount = static_cast<int64_t>(m_totalSamples) * m_align;
        if (d.currentFile == 0) {
            d.sampleRate = m_sampleRate;
            d.bitsPerSample = m_bitsPerSample;
            d.channels = 2;
        } else if (d.bitsPerSample != m_bitsPerSample || d.sampleRate != m_sampleRate ||
                   d.channels != m_channels) {
            return reject("\r\n\r\nBad multi-file cue sheet: Wav format is inconsistent.\r\n");
        }
        d.blockAlign = m_align;
        // Validation ends here.
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    FlacDecodeTarget& t = *m_target;
    t.sawAudioFrame = true;
    t.totalSamples = m_totalSamples;
    t.streamBits = m_bitsPerSample;
    t.streamRate = m_sampleRate;
    if (t.ranged &&
        (m_totalSamples != t.expectedSamples || m_bitsPerSample != t.bits || m_sampleRate != t.rate)) {
        return irregular();
    }
    if (t.bits != 0 && (t.bits != m_bitsPerSample || t.rate != m_sampleRate)) {
        // The disc keeps its own frame size: the store is laid out in it.
        return reject("\r\n\r\nBad multi-file cue sheet: Wav format is inconsistent.\r\n");
    }
    m_position = t.ranged ? t.first : 0;
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
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
    if (!m_sawFirstFrame) {
        ::FLAC__StreamDecoderWriteStatus status = firstFrame();
        if (status != FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE) {
            return status;
        }
    }
    FlacDecodeTarget& t = *m_target;
    if (t.stop != nullptr && t.stop->load(std::memory_order_relaxed)) {
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    // A whole-file decode takes the first frame it sees as the file's start and every later one
    // as following it; a range must find each frame where the file puts it.
    const int64_t frameStart = static_cast<int64_t>(frame->header.number.sample_number);
    int64_t skip = 0;
    if (t.ranged) {
        if (frame->header.number_type != FLAC__FRAME_NUMBER_TYPE_SAMPLE_NUMBER || frameStart > m_position ||
            frameStart + frame->header.blocksize <= m_position) {
            return irregular();
        }
        skip = m_position - frameStart;
    }
    // Never past the file's declared length, nor past what the target allows: a stream that
    // holds more samples than its STREAMINFO says loses the excess.
    const int64_t limit = std::min({static_cast<int64_t>(m_totalSamples), t.limit, t.end});
    const int64_t frames = std::clamp<int64_t>(limit - m_position, 0, frame->header.blocksize - skip);
    uint8_t* out = t.region + m_position * m_align;
    if (m_align == 4) {
        store16(out, buffer[0] + skip, buffer[1] + skip, static_cast<uint32_t>(frames));
    } else {
        store24(out, buffer[0] + skip, buffer[1] + skip, static_cast<uint32_t>(frames));
    }
    m_position += frames;
    t.written = m_position;
    if (t.progress != nullptr && frames > 0) {
        t.progress(t.progressContext, frames);
    }
    // The lines fall where a decode of the whole file puts them: at the end of a stream frame
    // (or of the file), not where a range happens to stop.
    const int64_t bytes = m_position * m_align;
    const bool frameEnded = !t.ranged || m_position == frameStart + frame->header.blocksize ||
                            m_position == static_cast<int64_t>(m_totalSamples);
    if (frames > 0 && frameEnded && bytes % kProgressReportBytes == 0) {
        flushRepeatedErrors();
        m_messages.appendf("\tprocessed to %iMB\r\n", static_cast<int>(bytes / 1048576));
    }
    if (t.ranged && m_position >= t.end) {
        m_rangeDone = true;
        return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void FlacContentDecoder::metadata_callback(const ::FLAC__StreamMetadata* metadata) {
    if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
        m_totalSamples = metadata->data.stream_info.total_samples;
        m_sampleRate = metadata->data.stream_info.sample_rate;
        m_channels = metadata->data.stream_info.channels;
        m_bitsPerSample = metadata->data.stream_info.bits_per_sample;
        if (m_target != nullptr) {
            std::memcpy(m_target->signature, metadata->data.stream_info.md5sum, 16);
        }
    }
}

// A file that is not FLAC at all makes the library report the same loss of sync over and over:
// a run of identical lines is written once, with its count.
void FlacContentDecoder::error_callback(::FLAC__StreamDecoderErrorStatus status) {
    if (m_target != nullptr && m_target->ranged) {
        m_target->irregular = true;
    }
    if (static_cast<int>(status) == m_lastError) {
        ++m_repeats;
        return;
    }
    flushRepeatedErrors();
    m_messages.appendf("FLAC ERROR: %s\r\n", FLAC__StreamDecoderErrorStatusString[status]);
    m_lastError = static_cast<int>(status);
}

bool FlacContentDecoder::decode() {
    FlacDecodeTarget& t = *m_target;
    bool ok = true;
    if (t.ranged && t.first > 0) {
        // STREAMINFO first: a seek reads the metadata without reporting it. The library then
        // writes the frame that holds `first` from `first` on during the seek.
        ok = process_until_end_of_metadata() && seek_absolute(static_cast<FLAC__uint64>(t.first));
        if (!ok && !m_rangeDone) {
            t.irregular = true;
            return false;
        }
    }
    if (!m_rangeDone) {
        ok = process_until_end_of_stream();
    }
    flushRepeatedErrors();
    if (t.ranged) {
        if (!m_rangeDone && !t.irregular) {
            t.irregular = true;
        }
        return !t.irregular;
    }
    return ok;
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
    FlacContentDecoder decoder(decoderText, *this);
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
    decoder.flushRepeatedErrors();
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

void CdDescriptor::DecodeFlacFile(int file, FlacDecodeTarget& target, DiagnosticsLog& text) const {
    if (!target.ranged) {
        text.append("\tFLAC decoding...\r\n");
    }
    FlacContentDecoder decoder(text, const_cast<CdDescriptor&>(*this), &target);
    if (!decoder.is_valid()) {
        // The file stays silent; the load goes on with the next file.
        target.irregular = target.ranged;
        text.append("\r\nCannot create FLAC decoder.\r\n");
        return;
    }
    // A seek switches the library's own signature check off: a range's caller checks it.
    decoder.set_md5_checking(!target.ranged);
    ::FLAC__StreamDecoderInitStatus status = decoder.init(m_openPath[file]);
    if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        target.irregular = target.ranged;
        text.appendf("\r\nCannot initialize FLAC content file, error: %s\r\n",
                     FLAC__StreamDecoderInitStatusString[status]);
        return;
    }
    const bool decoded = decoder.decode();
    if (target.ranged || !decoded || target.rejected ||
        (target.stop != nullptr && target.stop->load(std::memory_order_relaxed))) {
        return;
    }
    // finish() compares the decoded audio with the MD5 signature of the file, when it has one.
    if (!decoder.finish()) {
        text.append("\tFLAC MD5 mismatch: decoded audio differs from the signature in the file.\r\n");
    }
}

}  // namespace quoril
