#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quoril::demo {

// Audio read straight from files, independently of the player's own readers, so that what the
// player played can be checked against the files themselves.
struct DiscAudio {
    unsigned sampleRate = 0;
    unsigned bitsPerSample = 0;
    std::vector<int32_t> samples;  // interleaved left, right, as stored (not shifted)

    size_t frames() const { return samples.size() / 2; }
};

// Reads a stereo PCM WAV file of 16, 24 or 32 bits. A data chunk whose size was never filled in
// (0) or that claims more than the file holds is read up to the end of the file.
bool readWavFile(const std::string& path, DiscAudio& audio, std::string& error);

// Decodes a stereo FLAC file with libFLAC, checking its MD5 signature.
bool readFlacFile(const std::string& path, DiscAudio& audio, std::string& error);

// The whole disc: every file that a cue sheet names, in order, one after the other; or a single
// .wav or .flac file. All files must share one rate and sample size.
bool readDiscAudio(const std::string& path, DiscAudio& audio, std::string& error);

// The file names in a cue sheet's FILE lines, resolved against the cue sheet's folder.
std::vector<std::string> cueSheetFiles(const std::string& cuePath, std::string& error);

}  // namespace quoril::demo
