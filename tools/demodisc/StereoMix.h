#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quoril::demo {

// A stereo mix bus in floating point and the handful of instruments the demo disc is played on.
// Every instrument adds its note into the bus at a frame position; nothing is random except the
// hi-hat's noise, which comes from a fixed-seed generator, so a render is the same every time.
// Single-threaded.
class StereoMix {
  public:
    StereoMix(unsigned sampleRate, size_t frames);

    unsigned sampleRate() const { return m_rate; }
    size_t frames() const { return m_left.size(); }
    double left(size_t frame) const { return m_left[frame]; }
    double right(size_t frame) const { return m_right[frame]; }
    // The largest absolute sample value on either channel.
    double peak() const;

    // A sustained chord voice: three harmonics, the left and right copies detuned a few cents
    // against each other for width; soft attack, and a release that rings past the end.
    void addPad(size_t start, size_t length, double frequency, double gain);
    // A plucked, slightly bell-like note (two-operator FM with a decaying index).
    // pan: 0 is hard left, 1 hard right.
    void addPluck(size_t start, size_t length, double frequency, double gain, double pan);
    // A round bass note: a band-limited saw whose upper harmonics die away faster than its root.
    void addBass(size_t start, size_t length, double frequency, double gain);
    // A soft kick drum: a sine sweeping down from about 120 Hz.
    void addKick(size_t start, double gain);
    // A closed hi-hat: a short burst of high-passed noise, a little left of centre.
    void addHat(size_t start, double gain);

  private:
    void add(size_t frame, double left, double right);

    unsigned m_rate;
    std::vector<double> m_left;
    std::vector<double> m_right;
    uint32_t m_noise = 0x2545F491u;  // state of the hi-hat's noise generator
};

// Equal-tempered frequency of a MIDI note number (69 is A at 440 Hz).
double noteFrequency(int midiNote);

}  // namespace quoril::demo
