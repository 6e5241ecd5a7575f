#pragma once

#include <atomic>
#include <cstdint>
#include <limits>

#include <FLAC++/decoder.h>

namespace quoril {

class CdDescriptor;
class DiagnosticsLog;

// Where a load decode writes, and what it found. A decode of a whole file starts at sample 0 and
// checks the format; a decode of a range [first, end) of a file seeks to `first` and stops at
// `end`, and anything unexpected (a stream error, a frame out of place, a length or format other
// than the validation found) marks it `irregular`: the caller then decodes the whole file again
// in one piece, which tells exactly what a decode of it gives.
struct FlacDecodeTarget {
    uint8_t* region = nullptr;  // the store address of the file's sample 0
    int64_t limit = 0;          // frames the decode may write from region
    int64_t first = 0;
    int64_t end = std::numeric_limits<int64_t>::max();
    bool ranged = false;
    // The format the stream must have: 0 bits takes the stream's (the disc's first file).
    uint32_t bits = 0;
    uint32_t rate = 0;
    uint64_t expectedSamples = 0;  // ranged decodes: the length validation found
    std::atomic<bool>* stop = nullptr;
    // Frames written are added here as they are written (the RAM-load progress).
    void (*progress)(void* context, int64_t frames) = nullptr;
    void* progressContext = nullptr;

    // Results.
    bool sawAudioFrame = false;
    bool rejected = false;  // the stream was refused: the load ends with this file
    bool irregular = false;
    uint64_t totalSamples = 0;  // STREAMINFO of the stream
    uint32_t streamBits = 0;
    uint32_t streamRate = 0;
    uint8_t signature[16] = {};
    int64_t written = 0;  // frames written (whole file) or up to which the range is complete
};

// The libFLAC file decoder as the disc uses it: the callbacks check the stream's format and write
// decoded samples straight into the store in its layout (interleaved little-endian 16- or 24-bit
// stereo). Validation (no target) stops at the first audio frame, which is enough to learn the
// format and the exact length, and records them in the disc; a load writes into its target only.
//
// One decoder lives within one validation (window thread) or one decode of a file or range
// (a RAM-load worker); its callbacks run on that thread.
class FlacContentDecoder : public FLAC::Decoder::File {
  public:
    FlacContentDecoder(DiagnosticsLog& messages, CdDescriptor& disc, FlacDecodeTarget* target = nullptr);
    ~FlacContentDecoder() override = default;

    // Decodes the target's whole file or range; the caller has called init(). False when the
    // library reported a failure or the decode was cut short.
    bool decode();
    // Writes the line of the run of identical stream errors that ended, if any.
    void flushRepeatedErrors();

    bool sawAudioFrame() const { return m_sawFirstFrame; }

  protected:
    ::FLAC__StreamDecoderWriteStatus write_callback(const ::FLAC__Frame* frame,
                                                    const FLAC__int32* const buffer[]) override;
    void metadata_callback(const ::FLAC__StreamMetadata* metadata) override;
    void error_callback(::FLAC__StreamDecoderErrorStatus status) override;

  private:
    ::FLAC__StreamDecoderWriteStatus reject(const char* text);
    ::FLAC__StreamDecoderWriteStatus irregular();
    ::FLAC__StreamDecoderWriteStatus firstFrame();
    void say(const char* text);

    DiagnosticsLog& m_messages;
    CdDescriptor& m_disc;
    FlacDecodeTarget* m_target;
    uint64_t m_totalSamples = 0;  // STREAMINFO of the file being decoded
    uint32_t m_sampleRate = 0;
    uint32_t m_channels = 0;
    uint32_t m_bitsPerSample = 0;
    uint32_t m_align = 0;
    bool m_sawFirstFrame = false;
    bool m_rangeDone = false;
    int64_t m_position = 0;  // whole file: frames written; range: next sample to write
    // The stream error last written and how many identical ones followed it since.
    int m_lastError = -1;
    int m_repeats = 0;
};

}  // namespace quoril
