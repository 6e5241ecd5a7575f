#include "CaptureComparison.h"

#include <cstdint>

#include "platform/CFormat.h"

namespace quoril::demo {

namespace {

// The first frame with a sample that is not zero; frames() when there is none.
size_t firstSound(const DiscAudio& audio) {
    for (size_t i = 0; i < audio.samples.size(); ++i) {
        if (audio.samples[i] != 0) {
            return i / 2;
        }
    }
    return audio.frames();
}

}  // namespace

std::string frameTime(size_t frames, unsigned rate) {
    if (rate == 0) {
        return "?";
    }
    const size_t ms = static_cast<size_t>(static_cast<double>(frames) * 1000.0 / rate + 0.5);
    return cformat("%zu:%02zu.%03zu", ms / 60000, ms / 1000 % 60, ms % 1000);
}

CaptureComparison compareCapture(const DiscAudio& disc, const DiscAudio& capture, size_t maxUnheardFrames) {
    CaptureComparison result;
    result.discFrames = disc.frames();
    result.captureFrames = capture.frames();

    if (capture.bitsPerSample != 32 || disc.bitsPerSample < 8 || disc.bitsPerSample > 32) {
        result.explanation =
            cformat("the capture has %u-bit samples, the disc %u-bit; expected a 32-bit capture",
                    capture.bitsPerSample, disc.bitsPerSample);
        return result;
    }
    if (capture.sampleRate != disc.sampleRate) {
        result.explanation =
            cformat("the capture runs at %u Hz, the disc at %u Hz", capture.sampleRate, disc.sampleRate);
        return result;
    }
    const size_t discStart = firstSound(disc);
    const size_t captureStart = firstSound(capture);
    if (discStart == disc.frames()) {
        result.explanation = "the disc is silent";
        return result;
    }
    if (captureStart == capture.frames()) {
        result.explanation = "the capture is silent";
        return result;
    }
    if (captureStart < discStart) {
        result.explanation = "the capture has sound before the disc's first frame could have been played";
        return result;
    }
    const size_t offset = captureStart - discStart;
    result.leadingFrames = offset;

    // A disc sample as the capture holds it: in the top bits of a 32-bit word.
    const unsigned shift = 32 - disc.bitsPerSample;
    auto expected = [&](size_t frame, int channel) {
        return static_cast<int32_t>(static_cast<uint32_t>(disc.samples[2 * frame + channel]) << shift);
    };
    const size_t available = capture.frames() - offset;
    size_t matched = 0;
    while (matched < disc.frames() && matched < available &&
           capture.samples[2 * (offset + matched)] == expected(matched, 0) &&
           capture.samples[2 * (offset + matched) + 1] == expected(matched, 1)) {
        ++matched;
    }
    result.matchedFrames = matched;
    result.unheardFrames = disc.frames() - matched;

    const size_t firstAfter = 2 * (offset + matched);
    if (matched < disc.frames() && matched < available &&
        (capture.samples[firstAfter] != 0 || capture.samples[firstAfter + 1] != 0)) {
        // Sound, but not the disc's.
        const int channel = capture.samples[firstAfter] != expected(matched, 0) ? 0 : 1;
        result.explanation = cformat(
            "the capture differs from the disc at disc frame %zu (%s), %s channel: expected %d, captured %d",
            matched, frameTime(matched, disc.sampleRate).c_str(), channel == 0 ? "left" : "right",
            expected(matched, channel), capture.samples[firstAfter + channel]);
        return result;
    }
    // From here on the capture must stay silent to its end: the disc fell silent (or ended), and
    // did not come back.
    for (size_t i = firstAfter; i < capture.samples.size(); ++i) {
        if (capture.samples[i] != 0) {
            const size_t frame = i / 2 - offset;
            if (frame < disc.frames()) {
                result.explanation =
                    cformat("the capture falls silent at disc frame %zu (%s) and has sound again at %zu (%s)",
                            matched, frameTime(matched, disc.sampleRate).c_str(), frame,
                            frameTime(frame, disc.sampleRate).c_str());
            } else {
                result.explanation = cformat("the capture has sound %s after the end of the disc",
                                             frameTime(frame - disc.frames(), disc.sampleRate).c_str());
            }
            return result;
        }
    }
    if (result.unheardFrames > maxUnheardFrames) {
        result.explanation =
            cformat("the capture falls silent at disc frame %zu (%s), %zu frames before the end of the disc",
                    matched, frameTime(matched, disc.sampleRate).c_str(), result.unheardFrames);
        return result;
    }
    result.matches = true;
    result.explanation = cformat("%zu of %zu frames (%s) match bit for bit, after %s of leading silence",
                                 matched, disc.frames(), frameTime(matched, disc.sampleRate).c_str(),
                                 frameTime(offset, disc.sampleRate).c_str());
    if (result.unheardFrames > 0) {
        result.explanation +=
            cformat("; the last %zu frames (%s) were silenced at the end of the disc", result.unheardFrames,
                    frameTime(result.unheardFrames, disc.sampleRate).c_str());
    }
    return result;
}

}  // namespace quoril::demo
