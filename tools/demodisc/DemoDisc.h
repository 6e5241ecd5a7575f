#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quoril::demo {

// The demo disc: a short album of our own music, composed and rendered here, so that a first run
// has something real to play without downloading anything. 16-bit stereo at 44.1 kHz, one FLAC
// file per track and a cue sheet that names them with titles.

constexpr unsigned kDemoSampleRate = 44100;
constexpr unsigned kDemoBitsPerSample = 16;
// One frame of a compact disc's table of contents (1/75 s): every track is a whole number of them,
// so the cue sheet's times are exact.
constexpr size_t kFramesPerSector = 588;

struct DemoTrack {
    std::string title;
    std::string fileName;          // relative to the disc's folder
    std::vector<int16_t> samples;  // interleaved left, right

    size_t frames() const { return samples.size() / 2; }
};

struct DemoDisc {
    std::string performer;
    std::string title;
    std::string genre;
    std::vector<DemoTrack> tracks;
};

// Composes and renders the whole disc. The same every time it runs.
DemoDisc composeDemoDisc();

// The cue sheet, written with LF line ends in the column layout players expect: disc lines at
// column 1, TRACK after two spaces, TITLE and INDEX after four.
std::string cueSheetText(const DemoDisc& disc);

// Name of the cue sheet inside the disc's folder.
constexpr const char* kDemoCueName = "demo.cue";

// Writes the FLAC files and then the cue sheet into dir (created when missing). The cue sheet is
// renamed into place last, so a folder with a cue sheet always holds a complete disc.
// False with a reason in error when anything fails.
bool writeDemoDisc(const DemoDisc& disc, const std::string& dir, std::string& error);

// Encodes one track into a FLAC file with libFLAC's encoder (verifying as it encodes) and tags it.
bool writeFlacTrack(const DemoDisc& disc, size_t trackIndex, const std::string& path, std::string& error);

}  // namespace quoril::demo
