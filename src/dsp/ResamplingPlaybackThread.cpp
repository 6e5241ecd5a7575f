#include "dsp/ResamplingPlaybackThread.h"

#include <cmath>
#include <cstdlib>
#include <string>

#include "dsp/PlaybackLoop.h"
#include "dsp/PlaybackShared.h"
#include "dsp/ResamplerLibrary.h"

namespace quoril {

namespace {

// Buffers for the usual block sizes, reserved once so that starting playback needs no heap.
constexpr size_t kStaticOutputBytes = 1024000;
constexpr size_t kStaticInputBytes = 512000;
alignas(64) float staticOutput[kStaticOutputBytes / sizeof(float)];
alignas(64) float staticInput[kStaticInputBytes / sizeof(float)];

// The resampling path: everything the thread holds between wakes.
class Resampler final : public PlaybackLoop {
  public:
    Resampler(CdDescriptor* cd, const ResamplerLibrary& lib) noexcept : m_cd(cd), m_lib(lib) {}

    bool create() noexcept {
        int error = 0;
        m_state = m_lib.src_new(theTransport.converterType.load(), 2, &error);
        return m_state != nullptr;
    }

  private:
    // Places the buffers and resets the converter. False when memory is missing.
    bool start(int32_t n) noexcept override {
        m_n = n;
        double ratio = theTransport.outputRate.load() / m_cd->sampleRate;
        m_inputFrames = ResamplerInputFrames(m_cd->sampleRate, theTransport.outputRate.load(), n);
        if (m_output == nullptr) {
            size_t bytes = static_cast<size_t>(n + 16) * 8;
            m_heapOutput = bytes > kStaticOutputBytes;
            m_output = m_heapOutput ? static_cast<float*>(std::calloc(bytes, 1)) : staticOutput;
        }
        if (m_input == nullptr && m_output != nullptr) {
            size_t bytes = static_cast<size_t>(m_inputFrames) * 8;
            m_heapInput = bytes > kStaticInputBytes;
            m_input = m_heapInput ? static_cast<float*>(std::calloc(bytes, 1)) : staticInput;
        }
        if (m_output == nullptr || m_input == nullptr) {
            playback::log("Insufficient memory! Could not allocate SRC buffers.\r\n");
            return false;
        }
        m_data = SrcData{};
        m_data.data_in = m_input;
        m_data.data_out = m_output;
        m_data.input_frames = m_inputFrames;
        m_data.output_frames = n + 16;
        m_data.end_of_input = 0;
        m_data.src_ratio = ratio;
        m_data.output_frames_gen = 0;
        m_lib.src_reset(m_state);
        m_readIndex = 0;
        playback::log("Playback starting using SRC...\r\n\r\n");
        return true;
    }

    // Without buffers (no CmdStart yet) there is nothing to play into.
    bool canPlay() const noexcept override { return m_input != nullptr && m_output != nullptr; }

    // The converter starts afresh at the kept position.
    void halt() noexcept override {
        if (canPlay()) {
            m_lib.src_reset(m_state);
            m_data.output_frames_gen = 0;
            m_readIndex = 0;
        }
    }

    // False when the converter failed.
    bool fill(int block) noexcept override {
        TransportState& t = theTransport;
        int32_t* dst = t.dspBlocks[block];
        double gain = resamplingGain(t.volumeDb.load(), t.phaseSign.load());
        int32_t filled = handOut(dst, 0, gain);
        bool sixteenBit = m_cd->bitsPerSample == 16.0;
        const uint8_t* limit = playback::storeLimit(*m_cd);
        int stride = sixteenBit ? 4 : 6;

        while (filled < m_n) {
            uint64_t word = t.readPosition();
            int32_t p = playback::clampedPosition(word, m_cd->frameCount);
            convertToFloat(m_cd->audioData + static_cast<int64_t>(p) * stride, limit, sixteenBit, m_input,
                           m_inputFrames);
            int error = m_lib.src_process(m_state, &m_data);
            if (error != 0) {
                const char* text = m_lib.src_strerror(error);
                playback::log("srcERROR: ");
                playback::log(text != nullptr ? text : "");
                playback::log("\r\n");
                return false;
            }
            int64_t next = static_cast<int64_t>(p) + m_data.input_frames_used;
            if (static_cast<double>(next) < m_cd->frameCount) {
                // A seek written during the conversion wins over the advance.
                if (t.advancePosition(word, static_cast<int32_t>(next))) {
                    playback::keepPositionForHalt(word, p, static_cast<int32_t>(next));
                }
            } else {
                bool repeat = t.repeatAtEnd.load();
                if (t.advancePosition(word, repeat ? 0 : static_cast<int32_t>(m_cd->frameCount))) {
                    // The call that crossed the end is replaced by silence; the converter's
                    // delay is dropped with its state.
                    m_lib.src_reset(m_state);
                    for (long i = 0; i < 2 * m_data.output_frames_gen; ++i) {
                        m_output[i] = 0.0f;
                    }
                    if (repeat) {
                        playback::log("\tWav processed. Repeating...\r\n");
                    } else {
                        t.playing.store(0);
                        m_data.output_frames_gen = 0;
                        m_readIndex = 0;
                        playback::zeroBothBlocks(m_n);
                        playback::log("\tWav processed.\r\n");
                        break;
                    }
                }
            }
            m_readIndex = 0;
            filled = handOut(dst, filled, gain);
        }
        return true;
    }

    // Frees heap buffers and deletes the converter.
    void release() noexcept override {
        if (m_heapOutput) {
            std::free(m_output);
        }
        if (m_heapInput) {
            std::free(m_input);
        }
        m_output = nullptr;
        m_input = nullptr;
        m_heapOutput = m_heapInput = false;
        if (m_state != nullptr) {
            m_lib.src_delete(m_state);
            m_state = nullptr;
        }
    }

    // Moves converted frames not yet handed out into dst from frame `filled` on; returns the
    // frames now in dst.
    int32_t handOut(int32_t* dst, int32_t filled, double gain) noexcept {
        long available = m_data.output_frames_gen - m_readIndex;
        long room = m_n - filled;
        auto count = static_cast<int32_t>(available < room ? available : room);
        if (count <= 0) {
            return filled;
        }
        placeConverted(m_output + 2 * m_readIndex, gain, dst + 2 * filled, count);
        m_readIndex += count;
        return filled + count;
    }

    CdDescriptor* m_cd;
    const ResamplerLibrary& m_lib;
    SrcState* m_state = nullptr;
    SrcData m_data{};
    float* m_input = nullptr;
    float* m_output = nullptr;
    bool m_heapInput = false;
    bool m_heapOutput = false;
    int32_t m_n = 0;
    int32_t m_inputFrames = 0;
    long m_readIndex = 0;
};

}  // namespace

int32_t ResamplerInputFrames(double sampleRate, double outputRate, int32_t n) noexcept {
    auto frames = static_cast<int32_t>(std::floor(sampleRate * (n / outputRate) + 1.0));
    return (frames % 2 != 0) ? frames + 1 : frames;
}

void ResamplingPlaybackThread(CdDescriptor* cd) noexcept {
    const ResamplerLibrary* lib = theResampler;
    if (lib == nullptr || !lib->loaded() || cd == nullptr) {
        playback::log("Cannot initialize SRC!\r\n");
        return;
    }
    Resampler resampler(cd, *lib);
    if (!resampler.create()) {
        playback::log("Cannot initialize SRC!\r\n");
        return;
    }
    resampler.run();
}

}  // namespace quoril
