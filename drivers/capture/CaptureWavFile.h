#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quoril {

// A 32-bit PCM stereo WAV file that grows frame by frame. The header is written at open with
// zero sizes and completed by complete() (the file stays open and can grow further) and by
// close(). Used by one thread at a time.
class CaptureWavFile {
  public:
    CaptureWavFile() = default;
    ~CaptureWavFile() { close(); }
    CaptureWavFile(const CaptureWavFile&) = delete;
    CaptureWavFile& operator=(const CaptureWavFile&) = delete;

    // Creates (truncates) path. False with error() set when it cannot.
    bool open(const std::string& path, uint32_t rate);
    bool isOpen() const { return m_file != nullptr; }
    uint32_t rate() const { return m_rate; }
    // Appends frames of interleaved left/right 32-bit samples. Frames beyond what a RIFF size
    // field can describe are dropped. False on a write error.
    bool append(const int32_t* interleaved, size_t frames);
    // Writes the sizes into the header and flushes; the file stays open.
    bool complete();
    void close();
    uint64_t frames() const { return m_dataBytes / 8; }
    const std::string& error() const { return m_error; }

  private:
    bool writeHeader();

    std::FILE* m_file = nullptr;
    uint32_t m_rate = 0;
    uint64_t m_dataBytes = 0;
    std::string m_error;
};

}  // namespace quoril
