#include "DemoDisc.h"

#include <FLAC++/encoder.h>
#include <FLAC++/metadata.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string_view>
#include <utility>

#include "StereoMix.h"
#include "platform/AtomicFile.h"
#include "platform/CFormat.h"

namespace quoril::demo {

namespace {

// A chord: its root in semitones above the piece's key and its tones above that root.
struct Chord {
    int root;
    std::vector<int> tones;
};

const std::vector<int> kMajor = {0, 4, 7};
const std::vector<int> kMinor = {0, 3, 7};
const std::vector<int> kMajor7 = {0, 4, 7, 11};
const std::vector<int> kMinor7 = {0, 3, 7, 10};
const std::vector<int> kDominant7 = {0, 4, 7, 10};

enum class BassLine { RootFifth, Pulse, Walking };

struct Piece {
    const char* title;
    const char* fileName;
    double bpm;
    int key;  // MIDI note of the tonic
    std::vector<Chord> chords;
    // Steps of the arpeggio in one bar, as indices into the chord's tones over two octaves.
    std::vector<int> arpeggio;
    BassLine bass;
    bool hats;
    bool kick;
};

// Moves a note by octaves into [low, low + 12).
int intoRange(int note, int low) {
    while (note < low) {
        note += 12;
    }
    while (note >= low + 12) {
        note -= 12;
    }
    return note;
}

// The chord's tones over two octaves from the root near middle C, and the root two octaves up.
std::vector<int> arpeggioNotes(const Piece& piece, const Chord& chord) {
    const int base = intoRange(piece.key + chord.root, 60);
    std::vector<int> notes;
    for (int octave = 0; octave < 2; ++octave) {
        for (int tone : chord.tones) {
            notes.push_back(base + tone + 12 * octave);
        }
    }
    notes.push_back(base + 24);
    return notes;
}

// Lays out one piece: the progression twice, then a closing bar on the first chord that rings out.
void renderPiece(const Piece& piece, StereoMix& mix, size_t barFrames) {
    const size_t beat = barFrames / 4;
    const size_t bars = piece.chords.size() * 2;
    for (size_t bar = 0; bar <= bars; ++bar) {
        const bool closing = bar == bars;
        const Chord& chord = piece.chords[closing ? 0 : bar % piece.chords.size()];
        const Chord& next = piece.chords[(bar + 1) % piece.chords.size()];
        const size_t barStart = bar * barFrames;

        // Chords: close voicing around the F below middle C.
        for (int tone : chord.tones) {
            const int note = intoRange(piece.key + chord.root + tone, 53);
            mix.addPad(barStart, closing ? barFrames * 3 / 2 : barFrames, noteFrequency(note), 0.06);
        }

        // Arpeggio: a ping-pong between left and right.
        const std::vector<int> notes = arpeggioNotes(piece, chord);
        if (!closing) {
            const size_t steps = piece.arpeggio.size();
            for (size_t s = 0; s < steps; ++s) {
                const int index = std::min<int>(piece.arpeggio[s], static_cast<int>(notes.size()) - 1);
                const double accent = (s % 4 == 0) ? 1.0 : 0.75;
                mix.addPluck(barStart + s * barFrames / steps, barFrames / steps, noteFrequency(notes[index]),
                             0.17 * accent, (s % 2 == 0) ? 0.3 : 0.7);
            }
        } else {
            // One run up the chord, the top note left to ring.
            for (size_t s = 0; s < notes.size(); ++s) {
                const size_t length = s + 1 == notes.size() ? 2 * beat : beat / 2;
                mix.addPluck(barStart + s * beat / 2, length, noteFrequency(notes[s]), 0.15, 0.35 + 0.04 * s);
            }
        }

        // Bass, in the octave from C two below middle C.
        const int root = intoRange(piece.key + chord.root, 36);
        if (closing) {
            mix.addBass(barStart, barFrames, noteFrequency(root), 0.3);
            continue;
        }
        switch (piece.bass) {
            case BassLine::RootFifth:
                mix.addBass(barStart, 2 * beat, noteFrequency(root), 0.3);
                mix.addBass(barStart + 2 * beat, beat, noteFrequency(root + 7), 0.28);
                mix.addBass(barStart + 3 * beat, beat, noteFrequency(root + 12), 0.24);
                break;
            case BassLine::Pulse: {
                static constexpr int kPulse[8] = {0, 0, 0, 12, 0, 0, 7, 0};
                for (size_t e = 0; e < 8; ++e) {
                    mix.addBass(barStart + e * beat / 2, beat / 2 - beat / 16,
                                noteFrequency(root + kPulse[e]), e % 2 == 0 ? 0.3 : 0.22);
                }
                break;
            }
            case BassLine::Walking: {
                // Root, third, fifth, and a half step below the next chord's root to lead into it.
                const int nextRoot = intoRange(piece.key + next.root, 36);
                const int walk[4] = {root, root + chord.tones[1], root + chord.tones[2], nextRoot - 1};
                for (size_t q = 0; q < 4; ++q) {
                    mix.addBass(barStart + q * beat, beat - beat / 10, noteFrequency(walk[q]), 0.28);
                }
                break;
            }
        }

        // Drums, kept soft.
        if (piece.kick) {
            mix.addKick(barStart, 0.35);
            mix.addKick(barStart + 2 * beat, 0.3);
            mix.addKick(barStart + 2 * beat + beat / 2, 0.18);
        }
        if (piece.hats) {
            for (size_t e = 0; e < 8; ++e) {
                mix.addHat(barStart + e * beat / 2, e % 2 == 1 ? 0.06 : 0.035);
            }
        }
    }
}

const std::vector<Piece>& pieces() {
    static const std::vector<Piece> kPieces = {
        {"Morning Chords",
         "01-morning-chords.flac",
         92.0,
         60,  // C major: I V vi IV
         {{0, kMajor}, {7, kMajor}, {9, kMinor}, {5, kMajor}},
         {0, 1, 2, 3, 4, 5, 6, 4},
         BassLine::RootFifth,
         false,
         false},
        {"Open Window Arpeggio",
         "02-open-window-arpeggio.flac",
         108.0,
         57,  // A minor: i VI III VII
         {{0, kMinor}, {8, kMajor}, {3, kMajor}, {10, kMajor}},
         {0, 1, 2, 3, 4, 5, 6, 5, 4, 3, 2, 1, 2, 3, 4, 5},
         BassLine::Pulse,
         true,
         false},
        {"Walking Bass at Noon",
         "03-walking-bass-at-noon.flac",
         120.0,
         60,  // C: ii7 V7 Imaj7 VI7
         {{2, kMinor7}, {7, kDominant7}, {0, kMajor7}, {9, kDominant7}},
         {0, 2, 1, 2, 3, 2, 1, 2, 0, 2, 1, 2, 4, 2, 3, 2},
         BassLine::Walking,
         true,
         true},
        {"Evening, Slowly",
         "04-evening-slowly.flac",
         76.0,
         65,  // F major: I vi IV V
         {{0, kMajor}, {9, kMinor}, {5, kMajor}, {7, kMajor}},
         {0, 2, 4, 6, 5, 3, 2, 1},
         BassLine::RootFifth,
         false,
         false},
    };
    return kPieces;
}

std::string indexTime(size_t frames) {
    const size_t sectors = frames / kFramesPerSector;
    return cformat("%02zu:%02zu:%02zu", sectors / 75 / 60, sectors / 75 % 60, sectors % 75);
}

}  // namespace

DemoDisc composeDemoDisc() {
    DemoDisc disc;
    disc.performer = "The Quoril Players";
    disc.title = "First Light";
    disc.genre = "Ambient";

    std::vector<StereoMix> mixes;
    for (const Piece& piece : pieces()) {
        const size_t barFrames = static_cast<size_t>(std::lround(4.0 * 60.0 / piece.bpm * kDemoSampleRate));
        const size_t bars = piece.chords.size() * 2 + 1;
        // The closing chord is held for half a bar more; then two seconds for the last notes to die
        // away, and up to a whole sector.
        size_t frames = bars * barFrames + barFrames / 2 + 2 * kDemoSampleRate;
        frames = (frames + kFramesPerSector - 1) / kFramesPerSector * kFramesPerSector;
        mixes.emplace_back(kDemoSampleRate, frames);
        renderPiece(piece, mixes.back(), barFrames);
    }

    // One gain for the whole disc, so the tracks keep their levels against each other; the loudest
    // sample lands at -1 dBFS.
    double peak = 0.0;
    for (const StereoMix& mix : mixes) {
        peak = std::max(peak, mix.peak());
    }
    const double gain = peak > 0.0 ? 0.891 * 32767.0 / peak : 0.0;

    for (size_t t = 0; t < mixes.size(); ++t) {
        const StereoMix& mix = mixes[t];
        DemoTrack track;
        track.title = pieces()[t].title;
        track.fileName = pieces()[t].fileName;
        auto toSample = [gain](double value) {
            return static_cast<int16_t>(std::clamp(std::lround(value * gain), -32768L, 32767L));
        };
        track.samples.resize(mix.frames() * 2);
        for (size_t i = 0; i < mix.frames(); ++i) {
            track.samples[2 * i] = toSample(mix.left(i));
            track.samples[2 * i + 1] = toSample(mix.right(i));
        }
        disc.tracks.push_back(std::move(track));
    }
    return disc;
}

std::string cueSheetText(const DemoDisc& disc) {
    std::string text;
    text += "REM GENRE \"" + disc.genre + "\"\n";
    text += "REM DATE 2026\n";
    text += "REM COMMENT \"Composed and rendered by quoril-demo-disc\"\n";
    text += "PERFORMER \"" + disc.performer + "\"\n";
    text += "TITLE \"" + disc.title + "\"\n";
    for (size_t t = 0; t < disc.tracks.size(); ++t) {
        const DemoTrack& track = disc.tracks[t];
        text += "FILE \"" + track.fileName + "\" WAVE\n";
        text += cformat("  TRACK %02zu AUDIO\n", t + 1);
        text += "    TITLE \"" + track.title + "\"\n";
        text += "    PERFORMER \"" + disc.performer + "\"\n";
        // Each file holds one track, which starts at its first frame.
        text += "    INDEX 01 " + indexTime(0) + "\n";
    }
    return text;
}

bool writeFlacTrack(const DemoDisc& disc, size_t trackIndex, const std::string& path, std::string& error) {
    const DemoTrack& track = disc.tracks[trackIndex];
    FLAC::Encoder::File encoder;
    bool ok = encoder.set_verify(true) && encoder.set_compression_level(5) && encoder.set_channels(2) &&
              encoder.set_bits_per_sample(kDemoBitsPerSample) && encoder.set_sample_rate(kDemoSampleRate) &&
              encoder.set_total_samples_estimate(track.frames());

    FLAC::Metadata::VorbisComment tags;
    const std::pair<const char*, std::string> fields[] = {{"TITLE", track.title},
                                                          {"ARTIST", disc.performer},
                                                          {"ALBUM", disc.title},
                                                          {"GENRE", disc.genre},
                                                          {"TRACKNUMBER", cformat("%zu", trackIndex + 1)},
                                                          {"TRACKTOTAL", cformat("%zu", disc.tracks.size())}};
    for (const auto& [name, value] : fields) {
        ok = ok && tags.append_comment(FLAC::Metadata::VorbisComment::Entry(name, value.c_str()));
    }
    FLAC::Metadata::Prototype* metadata[] = {&tags};
    ok = ok && encoder.set_metadata(metadata, 1);
    if (!ok) {
        error = "cannot set up the FLAC encoder for " + path;
        return false;
    }

    const FLAC__StreamEncoderInitStatus init = encoder.init(path);
    if (init != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        error = "cannot start encoding " + path + ": " + FLAC__StreamEncoderInitStatusString[init];
        return false;
    }
    constexpr size_t kChunkFrames = 4096;
    std::vector<FLAC__int32> chunk(kChunkFrames * 2);
    for (size_t first = 0; first < track.frames() && ok; first += kChunkFrames) {
        const size_t count = std::min(kChunkFrames, track.frames() - first);
        std::copy_n(track.samples.begin() + 2 * first, 2 * count, chunk.begin());
        ok = encoder.process_interleaved(chunk.data(), static_cast<uint32_t>(count));
    }
    const std::string state = encoder.get_state().as_cstring();
    // finish() writes the final STREAMINFO (total samples and MD5) and closes the file.
    if (!encoder.finish() || !ok) {
        error = "cannot encode " + path + ": " + state;
        return false;
    }
    return true;
}

bool writeDemoDisc(const DemoDisc& disc, const std::string& dir, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir)) {
        error = "cannot create the folder " + dir + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    for (size_t t = 0; t < disc.tracks.size(); ++t) {
        if (!writeFlacTrack(disc, t, (fs::path(dir) / disc.tracks[t].fileName).string(), error)) {
            return false;
        }
    }
    const std::string cuePath = (fs::path(dir) / kDemoCueName).string();
    if (!writeFileAtomically(cuePath, cueSheetText(disc))) {
        error = "cannot write the cue sheet " + cuePath;
        return false;
    }
    return true;
}

}  // namespace quoril::demo
