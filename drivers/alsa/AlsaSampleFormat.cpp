#include "AlsaSampleFormat.h"

#include <cstring>

namespace quoril {

const char* alsaFormatName(AlsaSampleFormat format) {
    switch (format) {
        case AlsaSampleFormat::S32LE:
            return "S32_LE";
        case AlsaSampleFormat::S24LE:
            return "S24_LE";
        case AlsaSampleFormat::S24_3LE:
            return "S24_3LE";
        case AlsaSampleFormat::S16LE:
            return "S16_LE";
    }
    return "?";
}

snd_pcm_format_t alsaFormatCode(AlsaSampleFormat format) {
    switch (format) {
        case AlsaSampleFormat::S32LE:
            return SND_PCM_FORMAT_S32_LE;
        case AlsaSampleFormat::S24LE:
            return SND_PCM_FORMAT_S24_LE;
        case AlsaSampleFormat::S24_3LE:
            return SND_PCM_FORMAT_S24_3LE;
        case AlsaSampleFormat::S16LE:
            return SND_PCM_FORMAT_S16_LE;
    }
    return SND_PCM_FORMAT_UNKNOWN;
}

int alsaBytesPerSample(AlsaSampleFormat format) {
    switch (format) {
        case AlsaSampleFormat::S32LE:
        case AlsaSampleFormat::S24LE:
            return 4;
        case AlsaSampleFormat::S24_3LE:
            return 3;
        case AlsaSampleFormat::S16LE:
            return 2;
    }
    return 0;
}

namespace {

// Little-endian stores, written byte by byte so the result does not depend on the host's order
// or on alignment (a 3-byte frame layout leaves most samples unaligned).
inline void store32(uint8_t* p, uint32_t v) noexcept {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void store24(uint8_t* p, uint32_t v) noexcept {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
}

inline void store16(uint8_t* p, uint32_t v) noexcept {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

template <AlsaSampleFormat F>
void interleaveAs(const int32_t* const* sources, int channels, long frames, uint8_t* out) noexcept {
    constexpr int kBytes = F == AlsaSampleFormat::S24_3LE ? 3 : F == AlsaSampleFormat::S16LE ? 2 : 4;
    const size_t frameBytes = static_cast<size_t>(channels) * kBytes;
    for (int c = 0; c < channels; ++c) {
        const int32_t* in = sources[c];
        uint8_t* p = out + static_cast<size_t>(c) * kBytes;
        if (in == nullptr) {
            for (long i = 0; i < frames; ++i, p += frameBytes) {
                std::memset(p, 0, kBytes);
            }
            continue;
        }
        for (long i = 0; i < frames; ++i, p += frameBytes) {
            // Arithmetic shifts keep the sign; S24_LE wants its top byte as sign extension.
            const int32_t v = in[i];
            if constexpr (F == AlsaSampleFormat::S32LE) {
                store32(p, static_cast<uint32_t>(v));
            } else if constexpr (F == AlsaSampleFormat::S24LE) {
                store32(p, static_cast<uint32_t>(v >> 8));
            } else if constexpr (F == AlsaSampleFormat::S24_3LE) {
                store24(p, static_cast<uint32_t>(v >> 8));
            } else {
                store16(p, static_cast<uint32_t>(v >> 16));
            }
        }
    }
}

}  // namespace

void interleaveFrames(const int32_t* const* sources, int channels, long frames, AlsaSampleFormat format,
                      uint8_t* out) noexcept {
    switch (format) {
        case AlsaSampleFormat::S32LE:
            interleaveAs<AlsaSampleFormat::S32LE>(sources, channels, frames, out);
            break;
        case AlsaSampleFormat::S24LE:
            interleaveAs<AlsaSampleFormat::S24LE>(sources, channels, frames, out);
            break;
        case AlsaSampleFormat::S24_3LE:
            interleaveAs<AlsaSampleFormat::S24_3LE>(sources, channels, frames, out);
            break;
        case AlsaSampleFormat::S16LE:
            interleaveAs<AlsaSampleFormat::S16LE>(sources, channels, frames, out);
            break;
    }
}

}  // namespace quoril
