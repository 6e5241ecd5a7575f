#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "content/CueEncoding.h"
#include "platform/LineReader.h"

namespace quoril {

class DiagnosticsLog;
class Settings;
struct FlacDecodeTarget;

// One row of the track table, as the window and the engine see it.
struct CdTrack {
    int number = 0;  // row + 1
    std::string_view title;
    int32_t start = 0;   // first frame, counted from the start of the store
    int32_t length = 0;  // frames
    int16_t file = 0;    // index of the file that holds the track
};

// The disc being played: its titles, tracks, files, audio format and the one block of memory
// (the sample store) that holds all of its audio.
//
// Construction opens the content: it classifies the path (cue sheet, single .wav, single .flac),
// parses the cue sheet, validates every file, checks the length and the free memory and allocates
// the zero-filled store. It reads no audio; the RAM-load thread (RamLoadThread.h) fills the store
// afterwards. Every step appends its lines to the log handed in; the result is told by `active`.
// Nothing is thrown.
//
// The sample store: frame i starts at audioData + i * blockAlign; samples are interleaved left
// then right, little-endian, 2 bytes (blockAlign 4) or 3 bytes (blockAlign 6) each, exactly the
// layout of a stereo PCM WAV "data" chunk. After the last audio byte follow kTailBytes zero bytes.
//
// Threads: constructed and destroyed on the window thread. While the RAM load runs, its workers
// write the store, and the load thread the track table (after a truncated WAV file), the file
// counts and, at the end, the totals (audioData, frameCount, byteCount, currentFile); readers take
// the progress counter's -1 (released after the totals are restored) as the sign that these fields
// are final.
// The playback threads only read the store and the format fields, and only after that point.
class CdDescriptor {
  public:
    static constexpr int kMaxTracks = 100;
    static constexpr int kMaxFiles = 100;
    static constexpr size_t kMaxTitleChars = 255;
    static constexpr size_t kMaxPathChars = 519;
    // Zero bytes after the last audio byte of the store.
    static constexpr int64_t kTailBytes = 1152000;
    // Memory kept back from the available figure before deciding whether the disc fits.
    static constexpr int64_t kMemoryReserve = 14360576;
    // Frames per block read from a WAV file.
    static constexpr int kWavBlockFrames = 16384;

    // Opens the content named by path (window thread). Lines go to log; useAwe and the memory
    // figures come from (and are refreshed in) settings.
    CdDescriptor(const std::string& path, DiagnosticsLog& log, Settings& settings);
    // Releases the store (locked or ordinary) and closes the WAV files still open.
    virtual ~CdDescriptor();

    CdDescriptor(const CdDescriptor&) = delete;
    CdDescriptor& operator=(const CdDescriptor&) = delete;

    // Set by the FLAC decoder callbacks when they reject a stream during validation.
    bool decodeError = false;
    std::string genre;
    // True when the content is valid and the store allocated. Cleared by a load that ends early
    // (a FLAC decode aborted, a stop request). Atomic: the load thread writes it.
    std::atomic<bool> active{false};
    double bitsPerSample = 0;  // 16 or 24
    double sampleRate = 0;     // frames per second
    // After the open and the load: the disc's total frames. While a file is validated: that
    // file's frames.
    double frameCount = 0;
    // Start of the store.
    uint8_t* audioData = nullptr;
    int16_t trackCount = 0;
    std::array<std::string, kMaxTracks> trackTitle;  // at most kMaxTitleChars characters each
    std::array<int32_t, kMaxTracks> trackLength{};   // frames
    std::array<int32_t, kMaxTracks> trackStart{};    // first frame, from the start of the store
    std::string albumTitle;
    std::string performer;
    uint32_t blockAlign = 0;  // 4 or 6 bytes per frame
    // After the open and the load: audio bytes of all files + kTailBytes. While a file is
    // validated: that file's audio bytes.
    int64_t byteCount = 0;
    uint32_t channels = 0;  // 2 once validated
    // Index of the last file (files are 0..currentFile); -1 while none is known. While a file is
    // validated, that file's index.
    int16_t currentFile = -1;
    std::array<int64_t, kMaxFiles> fileByteCount{};  // audio bytes of each file
    std::array<double, kMaxFiles> fileFrameCount{};  // frames of each file
    std::array<bool, kMaxFiles> fileIsFlac{};
    std::array<std::string, kMaxFiles> filePath;  // at most kMaxPathChars characters each
    // The path a file of the disc is opened by (filePath shows the extension in capitals).
    const std::string& openPath(int file) const { return m_openPath[static_cast<size_t>(file)]; }
    // Each WAV file stays open at its first audio byte from validation until the load ends.
    std::array<FILE*, kMaxFiles> fileHandle{};
    std::array<int16_t, kMaxFiles> trackFile{};  // indexed by track row
    LineReader cueHandle;                        // the cue sheet while it is parsed
    std::string sourcePath;
    // The requested path up to and including its last '/', prefix of relative cue FILE names.
    std::string cueDirectory;
    // Locked store only: number of pages locked in RAM; 0 when the store is ordinary memory.
    uint32_t physicalPageCount = 0;

    // The track table row as a view (row 0 .. trackCount - 1).
    CdTrack track(int row) const;

    // Maps byteCount bytes of zero-filled memory, asks for huge pages and locks it in RAM.
    // Null when the mapping or the lock is refused. Sets physicalPageCount. Window thread.
    uint8_t* AllocateLockedMemory(int64_t byteCount);
    // Unlocks and unmaps a store from AllocateLockedMemory.
    void ReleaseLockedMemory(uint8_t* address);

    // Cue sheet passes (window thread, during construction). ParseCueHeader reads up to the first
    // FILE line, which becomes file 0; ParseCueTracks reads the rest, enters the tracks and
    // validates every further file, appending its reasons to messages.
    void ParseCueHeader();
    bool ParseCueTracks(DiagnosticsLog& messages);

    // Validators of the file whose index is currentFile (window thread).
    bool ValidateWavFile(DiagnosticsLog& messages);
    bool ValidateFlacFile(DiagnosticsLog& messages);

    // The RAM load of file `file` (RamLoadThread.cpp). PlanWavFile, ReadWavRange and
    // DecodeFlacFile write none of the disc's fields, so the load's workers run them at once.
    //
    // What a block-by-block read of a WAV file from its first audio byte to its end gives: the
    // frames it loads (the declared ones, or fewer when the file is short) and the lines it
    // reports (progress, truncation, overflow), appended to text. dataOffset receives the file
    // offset of the first audio byte; -1 frames when the file cannot be examined.
    int64_t PlanWavFile(int file, DiagnosticsLog& text, int64_t& dataOffset) const;
    // Reads frames [first, end) of a WAV file into region + first * blockAlign. False on a short
    // read or a stop request.
    bool ReadWavRange(int file, int64_t dataOffset, uint8_t* region, int64_t first, int64_t end,
                      const std::atomic<bool>* stop) const;
    // After a WAV file that loaded `framesRead` frames from frame `fileStart` of the store, fewer
    // than declared: its tracks end at its end, later tracks move back, its counts shrink.
    void SettleWavTruncation(int file, int64_t fileStart, int64_t framesRead);
    // Decodes a FLAC file, or a range of it, into the target; lines go to text.
    void DecodeFlacFile(int file, FlacDecodeTarget& target, DiagnosticsLog& text) const;

    // Size of the mapping that holds the store (0 when none); stays fixed while audioData and
    // byteCount move during the load.
    int64_t storeBytes() const { return m_storeBytes; }
    uint8_t* storeStart() const { return m_storeStart; }

  private:
    void checkLengthAndMemory(DiagnosticsLog& memoryText);
    void refreshMemoryFigures();
    bool validateFile(DiagnosticsLog& messages);
    std::string resolveCueFileName(const std::string& name) const;
    // Enters the FILE name of a cue sheet as file `index`: opened as written when such a file
    // exists, else as its conversion to UTF-8; shown converted.
    void enterCueFileName(int index, const std::string& name);

    // True when the text from the last dot of path starts with extension (case-sensitive), so
    // ".cue" and ".wav" are compared over 4 characters and ".flac" over 5.
    static bool hasExtension(const std::string& path, const char* extension);
    // Starts the validation of the current file, WAV or FLAC alike: its FILE line in the log, the
    // extension in capitals, the path length check and the open for reading. Returns nullptr after
    // appending the reason (notFoundText when the file cannot be opened).
    FILE* openCurrentFile(DiagnosticsLog& messages, const char* notFoundText);
    // Rewrites the characters after the last dot in capitals, as the log shows validated files.
    static void capitaliseExtension(std::string& path);

    DiagnosticsLog& m_log;
    Settings& m_settings;
    // The path of each file as it is opened; filePath shows the extension in capitals.
    std::array<std::string, kMaxFiles> m_openPath;
    // The encoding of the cue sheet being parsed.
    CueEncoding m_cueEncoding;
    uint8_t* m_storeStart = nullptr;
    int64_t m_storeBytes = 0;

    friend class FlacContentDecoder;
};

}  // namespace quoril
