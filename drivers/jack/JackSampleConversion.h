#pragma once

#include <cstdint>

namespace quoril {

// JACK plays 32-bit floats in [-1, 1). A 32-bit integer sample is scaled by 2^-31; a float holds
// 24 significant bits, so every 16- and 24-bit sample (the low bits of its 32-bit word zero) maps
// to a float exactly, and converts back exactly. Runs in the process callback: no allocation.
inline constexpr float kInt32ToFloat = 1.0f / 2147483648.0f;

inline void convertInt32ToFloat(const int32_t* in, float* out, uint32_t frames) noexcept {
    for (uint32_t i = 0; i < frames; ++i) {
        out[i] = static_cast<float>(in[i]) * kInt32ToFloat;
    }
}

}  // namespace quoril
