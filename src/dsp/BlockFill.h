#pragma once

#include <atomic>
#include <cstdint>

namespace quoril {

// The sample arithmetic of the playback threads, as plain functions over memory so that it can
// be checked on its own. Everything here runs on the playback thread: noexcept, no allocation.
//
// DSP block words are shared with the driver callbacks, which read them while a halt may zero
// them, so they are written through relaxed atomic references (plain moves on x86-64).

// Gain of the direct path: phaseSign * 10^(volumeDb / 20) * 65,536 for 16-bit discs and * 256
// for any other depth (24-bit), so that 0 dB at phase 0 places the samples bit-exact in the
// upper bits of the 32-bit word.
double directGain(double volumeDb, int phaseSign, double bitsPerSample) noexcept;

// Gain of the resampling path: 10^(volumeDb / 20) * 2,147,483,647 * phaseSign.
double resamplingGain(double volumeDb, int phaseSign) noexcept;

// A double converted to int32 by truncation toward zero; a value outside the int32 range (or
// NaN) gives INT32_MIN, as the processor's own conversion does.
inline int32_t truncateToInt32(double value) noexcept {
    if (value > -2147483649.0 && value < 2147483648.0) {
        return static_cast<int32_t>(value);
    }
    return INT32_MIN;
}

// value clamped to -2,147,483,647 ... +2,147,483,647 and truncated toward zero (NaN gives 0).
inline int32_t clipToInt32(double value) noexcept {
    if (value > 2147483647.0) {
        return 2147483647;
    }
    if (value < -2147483647.0) {
        return -2147483647;
    }
    if (value != value) {
        return 0;
    }
    return static_cast<int32_t>(value);
}

// Little-endian sample readers.
inline int32_t readSample16(const uint8_t* p) noexcept {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}
inline int32_t readSample24(const uint8_t* p) noexcept {
    uint32_t bits = (uint32_t{p[0]} << 8) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 24);
    return static_cast<int32_t>(bits) >> 8;
}

// Converts frames of the store at source into the interleaved block: each sample times gain,
// truncated toward zero. 16-bit frames are 4 bytes apart; 24-bit frames blockAlign bytes apart.
// Only the bytes before limit are read; frames that would reach beyond it become silence.
void fillBlock(const uint8_t* source, const uint8_t* limit, bool sixteenBit, uint32_t blockAlign, double gain,
               int32_t* block, int32_t frames) noexcept;

// Writes zeros over frames frames of a block.
void zeroBlock(int32_t* block, int32_t frames) noexcept;

// Converts frames of the store into interleaved floats for the resampler: 16-bit s / 32,767
// (4 bytes a frame), 24-bit s / 8,388,607 (6 bytes a frame), in single precision. Frames that
// would reach beyond limit become 0.
void convertToFloat(const uint8_t* source, const uint8_t* limit, bool sixteenBit, float* out,
                    int32_t frames) noexcept;

// Converted frames to block words: count frames of interleaved floats times gain, clipped.
void placeConverted(const float* converted, double gain, int32_t* block, int32_t frames) noexcept;

// One block word, shared with the callbacks.
inline void storeWord(int32_t* word, int32_t value) noexcept {
    std::atomic_ref<int32_t>(*word).store(value, std::memory_order_relaxed);
}
inline int32_t loadWord(const int32_t* word) noexcept {
    return std::atomic_ref<int32_t>(*const_cast<int32_t*>(word)).load(std::memory_order_relaxed);
}

}  // namespace quoril
