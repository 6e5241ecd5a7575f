#pragma once

#include <atomic>
#include <cstdint>

#include <FLAC++/decoder.h>

namespace quoril {

class CdDescriptor;
class DiagnosticsLog;

// The libFLAC file decoder as the disc uses it: the callbacks check the stream's format against
// the disc and write decoded samples straight into the store, at the disc's audioData, in the
// store's layout (interleaved little-endian 16- or 24-bit stereo). While validating it stops at
// the first audio frame, which is enough to learn the format and the exact length.
//
// One decoder lives within one call of ValidateFlacFile (window thread) or DecodeFlacFile
// (RAM-load thread); its callbacks run on that thread, inside process_until_end_of_stream.
class FlacContentDecoder : public FLAC::Decoder::File {
  public:
    // decodeSamples false: validation (stop after the first audio frame); true: load.
    // messages receives the callbacks' lines; frameCounter counts the frames written into the
    // file's region (the RAM-load progress counter while loading). stop, when given and set,
    // aborts the decode at the next frame.
    FlacContentDecoder(bool decodeSamples, DiagnosticsLog& messages, CdDescriptor& disc,
                       std::atomic<int32_t>& frameCounter, const std::atomic<bool>* stop = nullptr);
    ~FlacContentDecoder() override = default;

    // True once an audio frame has reached the write callback.
    bool sawAudioFrame() const { return m_sawFirstFrame; }
    // Frames written into the file's region so far.
    int64_t framesWritten() const { return m_position; }

    const bool decodeSamples;
    DiagnosticsLog* const messages;
    CdDescriptor* const disc;
    std::atomic<int32_t>* const frameCounter;

  protected:
    ::FLAC__StreamDecoderWriteStatus write_callback(const ::FLAC__Frame* frame,
                                                    const FLAC__int32* const buffer[]) override;
    void metadata_callback(const ::FLAC__StreamMetadata* metadata) override;
    void error_callback(::FLAC__StreamDecoderErrorStatus status) override;

  private:
    ::FLAC__StreamDecoderWriteStatus reject(const char* text);

    const std::atomic<bool>* m_stop;
    // STREAMINFO of the file being decoded.
    uint64_t m_totalSamples = 0;
    uint32_t m_sampleRate = 0;
    uint32_t m_channels = 0;
    uint32_t m_bitsPerSample = 0;
    bool m_sawFirstFrame = false;
    int64_t m_position = 0;  // frames written into the file's region
};

}  // namespace quoril
