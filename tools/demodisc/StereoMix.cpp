#include "StereoMix.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quoril::demo {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Constant-power pan law.
void panGains(double pan, double& left, double& right) {
    left = std::cos(pan * std::numbers::pi / 2.0);
    right = std::sin(pan * std::numbers::pi / 2.0);
}

// Linear attack, flat, linear release after `length` frames.
double arEnvelope(size_t n, size_t attack, size_t length, size_t release) {
    if (n < attack) {
        return static_cast<double>(n) / static_cast<double>(attack);
    }
    if (n < length) {
        return 1.0;
    }
    if (n < length + release) {
        return 1.0 - static_cast<double>(n - length) / static_cast<double>(release);
    }
    return 0.0;
}

}  // namespace

double noteFrequency(int midiNote) {
    return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
}

StereoMix::StereoMix(unsigned sampleRate, size_t frames)
    : m_rate(sampleRate), m_left(frames, 0.0), m_right(frames, 0.0) {}

double StereoMix::peak() const {
    double peak = 0.0;
    for (size_t i = 0; i < m_left.size(); ++i) {
        peak = std::max({peak, std::fabs(m_left[i]), std::fabs(m_right[i])});
    }
    return peak;
}

void StereoMix::add(size_t frame, double left, double right) {
    if (frame < m_left.size()) {
        m_left[frame] += left;
        m_right[frame] += right;
    }
}

void StereoMix::addPad(size_t start, size_t length, double frequency, double gain) {
    const size_t attack = m_rate / 4;
    const size_t release = m_rate * 6 / 10;
    // Three cents apart on each side: a slow beating that makes the chord wide, not a tone.
    const double detune = std::pow(2.0, 3.0 / 1200.0);
    const double fl = frequency / detune;
    const double fr = frequency * detune;
    static constexpr double kHarmonics[] = {1.0, 0.35, 0.15};
    for (size_t n = 0; n < length + release; ++n) {
        const double env = arEnvelope(n, attack, length, release) * gain;
        const double t = static_cast<double>(n) / m_rate;
        double l = 0.0;
        double r = 0.0;
        for (int h = 0; h < 3; ++h) {
            l += kHarmonics[h] * std::sin(kTwoPi * fl * (h + 1) * t);
            r += kHarmonics[h] * std::sin(kTwoPi * fr * (h + 1) * t + 0.7);
        }
        add(start + n, l * env, r * env);
    }
}

void StereoMix::addPluck(size_t start, size_t length, double frequency, double gain, double pan) {
    double gl;
    double gr;
    panGains(pan, gl, gr);
    const size_t attack = m_rate / 500;  // 2 ms, enough to avoid a click
    const size_t ring = length + m_rate / 2;
    for (size_t n = 0; n < ring; ++n) {
        const double t = static_cast<double>(n) / m_rate;
        const double index = 1.8 * std::exp(-t / 0.12);
        double env = std::exp(-t / 0.45) * gain;
        if (n < attack) {
            env *= static_cast<double>(n) / attack;
        }
        if (n >= length) {  // damped once the next note is due
            env *= std::exp(-static_cast<double>(n - length) / (0.05 * m_rate));
        }
        const double s = std::sin(kTwoPi * frequency * t + index * std::sin(kTwoPi * frequency * t)) * env;
        add(start + n, s * gl, s * gr);
    }
}

void StereoMix::addBass(size_t start, size_t length, double frequency, double gain) {
    const size_t attack = m_rate / 200;
    const size_t release = m_rate / 25;
    const int harmonics = std::max(1, std::min(8, static_cast<int>(m_rate / 2 / frequency) - 1));
    for (size_t n = 0; n < length + release; ++n) {
        const double t = static_cast<double>(n) / m_rate;
        double s = 0.0;
        for (int k = 1; k <= harmonics; ++k) {
            s += std::sin(kTwoPi * frequency * k * t) / k * std::exp(-t * 4.0 * (k - 1));
        }
        const double env = arEnvelope(n, attack, length, release) * (0.7 + 0.3 * std::exp(-t / 0.3)) * gain;
        add(start + n, s * env, s * env);
    }
}

void StereoMix::addKick(size_t start, double gain) {
    const size_t length = m_rate * 4 / 10;
    double phase = 0.0;
    for (size_t n = 0; n < length; ++n) {
        const double t = static_cast<double>(n) / m_rate;
        const double frequency = 45.0 + 75.0 * std::exp(-t / 0.03);
        phase += kTwoPi * frequency / m_rate;
        const double s = std::sin(phase) * std::exp(-t / 0.15) * gain;
        add(start + n, s, s);
    }
}

void StereoMix::addHat(size_t start, double gain) {
    double gl;
    double gr;
    panGains(0.4, gl, gr);
    const size_t length = m_rate * 6 / 100;
    double previous = 0.0;
    for (size_t n = 0; n < length; ++n) {
        // xorshift32: fixed seed, so the disc renders identically every time.
        m_noise ^= m_noise << 13;
        m_noise ^= m_noise >> 17;
        m_noise ^= m_noise << 5;
        const double white = static_cast<double>(m_noise) / 4294967295.0 * 2.0 - 1.0;
        const double high = white - previous;  // first difference: keeps the hiss, drops the body
        previous = white;
        const double s = high * std::exp(-static_cast<double>(n) / (0.015 * m_rate)) * gain;
        add(start + n, s * gl, s * gr);
    }
}

}  // namespace quoril::demo
