// Benchmarks of the DSP engine (run by scripts/bench; figures depend on the machine, so the
// summary at the end compares each result with a baseline measured in the same run).
//
//   block fill         CPU time of filling DSP blocks, as a share of one core per second of
//                      audio at 44.1 and 192 kHz, 16- and 24-bit, against a plain conversion loop
//   resampled playback the resampling playback thread producing blocks as fast as it is asked,
//                      its CPU time as a share of the audio's duration, against a bare
//                      src_process loop on the same data
//   late blocks        a 60-second real-time session at 176.4 kHz with the best converter on the
//                      capture driver while another process keeps a core busy (target: 0)
//
// Pass --no-session to leave out the 60-second session.

#include <benchmark/benchmark.h>
#include <pthread.h>
#include <samplerate.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "content/RamLoadThread.h"
#include "dsp/BlockFill.h"
#include "dsp/DspEngine.h"
#include "dsp/ResamplerLibrary.h"
#include "dsp/ResamplingPlaybackThread.h"
#include "dsp/TransportState.h"
#include "platform/DiagnosticsLog.h"
#include "platform/NamedEvent.h"
#include "platform/ProcessList.h"
#include "platform/Registry.h"

namespace quoril {
namespace {

// ---- Fixtures ----

std::string scratchDirectory() {
    static std::string dir = [] {
        char pattern[] = "/tmp/quoril-dsp-bench-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return dir;
}

// A stereo PCM WAV file of pseudo-random samples.
std::string writeWav(const std::string& name, int bits, uint32_t rate, uint32_t frames) {
    std::string path = scratchDirectory() + "/" + name;
    const uint32_t bytesPerFrame = static_cast<uint32_t>(bits / 8 * 2);
    const uint32_t dataBytes = frames * bytesPerFrame;
    std::string out;
    auto le = [&out](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
        }
    };
    out += "RIFF";
    le(36 + dataBytes, 4);
    out += "WAVEfmt ";
    le(16, 4);
    le(1, 2);
    le(2, 2);
    le(rate, 4);
    le(rate * bytesPerFrame, 4);
    le(bytesPerFrame, 2);
    le(static_cast<uint32_t>(bits), 2);
    out += "data";
    le(dataBytes, 4);
    uint32_t state = 12345;
    for (uint32_t i = 0; i < frames * 2; ++i) {
        state = state * 1664525u + 1013904223u;
        le(state >> 8, bits / 8);
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        std::fwrite(out.data(), 1, out.size(), file);
        std::fclose(file);
    }
    return path;
}

// A disc opened and loaded into RAM by the content code.
struct LoadedDisc {
    Settings settings;
    DiagnosticsLog log;
    std::unique_ptr<CdDescriptor> cd;

    LoadedDisc(int bits, uint32_t rate, uint32_t seconds) {
        std::string path = writeWav("disc" + std::to_string(bits) + "_" + std::to_string(rate) + ".wav", bits,
                                    rate, rate * seconds);
        cd = std::make_unique<CdDescriptor>(path, log, settings);
        LoadProgress progress{0};
        RamLoadThread::run(RamLoadRequest{cd.get(), &progress, &log});
    }
    bool ok() const { return cd && cd->active.load(); }
};

// ---- Block fill ----

void BM_BlockFill(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const int32_t n = 6144;
    static LoadedDisc disc16(16, 44100, 10);
    static LoadedDisc disc24(24, 44100, 10);
    LoadedDisc& disc = bits == 16 ? disc16 : disc24;
    if (!disc.ok()) {
        state.SkipWithError("disc not loaded");
        return;
    }
    std::vector<int32_t> block(2 * n);
    const CdDescriptor& cd = *disc.cd;
    const uint8_t* limit = cd.storeStart() + cd.storeBytes();
    const int32_t blocks = static_cast<int32_t>(cd.frameCount) / n;
    int32_t next = 0;
    for (auto _ : state) {
        double gain = directGain(-3.0, 1, cd.bitsPerSample);
        fillBlock(cd.audioData + static_cast<int64_t>(next) * n * cd.blockAlign, limit, bits == 16,
                  cd.blockAlign, gain, block.data(), n);
        benchmark::DoNotOptimize(block.data());
        next = (next + 1) % blocks;
    }
    // Share of one core per second of audio: CPU time / audio seconds, in percent.
    state.counters["core%@44k1"] = benchmark::Counter(
        n / 44100.0 / 100.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["core%@192k"] = benchmark::Counter(
        n / 192000.0 / 100.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BlockFill)->Arg(16)->Arg(24);

// The plainest conversion there is, for comparison: samples shifted into the upper bits.
void BM_PlainConversionLoop(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const int32_t n = 6144;
    const size_t bytesPerFrame = bits == 16 ? 4 : 6;
    std::vector<uint8_t> source(bytesPerFrame * n * 64);
    for (size_t i = 0; i < source.size(); ++i) {
        source[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    }
    std::vector<int32_t> block(2 * n);
    size_t next = 0;
    for (auto _ : state) {
        const uint8_t* p = source.data() + next * bytesPerFrame * n;
        if (bits == 16) {
            for (int32_t i = 0; i < 2 * n; ++i) {
                block[i] = static_cast<int32_t>(static_cast<int16_t>(p[2 * i] | (p[2 * i + 1] << 8))) * 65536;
            }
        } else {
            for (int32_t i = 0; i < 2 * n; ++i) {
                block[i] = static_cast<int32_t>((uint32_t{p[3 * i]} << 8) | (uint32_t{p[3 * i + 1]} << 16) |
                                                (uint32_t{p[3 * i + 2]} << 24));
            }
        }
        benchmark::DoNotOptimize(block.data());
        next = (next + 1) % 64;
    }
    state.counters["core%@44k1"] = benchmark::Counter(
        n / 44100.0 / 100.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["core%@192k"] = benchmark::Counter(
        n / 192000.0 / 100.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlainConversionLoop)->Arg(16)->Arg(24);

// ---- Resampled playback ----

// The resampling playback thread on a loaded disc, asked for one block after another as the
// driver callbacks would, as fast as it delivers them.
class ResamplingRig {
  public:
    ResamplingRig(double outputRate, int converter, const CdDescriptor& cd)
        : m_n(DspEngine::ComputeBlockFrames(512, outputRate)) {
        TransportState& t = theTransport;
        t.reset();
        m_blocks[0].assign(2 * static_cast<size_t>(m_n), 0);
        m_blocks[1].assign(2 * static_cast<size_t>(m_n), 0);
        t.blockFrames = m_n;
        t.dspBlocks[0] = m_blocks[0].data();
        t.dspBlocks[1] = m_blocks[1].data();
        t.dspEvent.store(&m_event);
        t.logTarget.store(&m_log);
        t.outputRate.store(outputRate);
        t.converterType.store(static_cast<int16_t>(converter));
        m_ok = m_library.load("", m_log);
        theResampler = &m_library;
        m_thread = std::thread(ResamplingPlaybackThread, const_cast<CdDescriptor*>(&cd));
        waitFor([] { return theTransport.threadRunning.load(); });
        command(CmdStart);
        command(CmdPlay);
    }
    ~ResamplingRig() {
        theTransport.post(CmdQuit);
        waitFor([] { return !theTransport.threadRunning.load(); });
        m_event.close();
        m_thread.join();
        theResampler = nullptr;
        theTransport.dspEvent.store(nullptr);
        theTransport.logTarget.store(nullptr);
        theTransport.dspBlocks[0] = theTransport.dspBlocks[1] = nullptr;
        theTransport.blockFrames = 0;
    }
    bool ok() const { return m_ok && theTransport.threadRunning.load(); }
    // CPU time the playback thread has used so far, in seconds.
    double threadCpuSeconds() const {
        clockid_t clock;
        timespec now{};
        if (pthread_getcpuclockid(const_cast<std::thread&>(m_thread).native_handle(), &clock) != 0 ||
            clock_gettime(clock, &now) != 0) {
            return 0.0;
        }
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
    int32_t blockFrames() const { return m_n; }

    // One block, as after a buffer switch.
    void fillNext() {
        uint32_t before = theTransport.wakesHandled.load();
        theTransport.deviceRequest.store(m_next == 0 ? ReqFillBlock0 : ReqFillBlock1);
        theTransport.signal();
        m_next ^= 1;
        waitFor([&] { return theTransport.wakesHandled.load() != before; });
    }

  private:
    template <typename Fn>
    static void waitFor(Fn condition) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
    }
    void command(TransportCommand c) {
        uint32_t before = theTransport.wakesHandled.load();
        theTransport.post(c);
        waitFor([&] { return theTransport.wakesHandled.load() != before; });
    }

    int32_t m_n;
    NamedEvent m_event{DspEngine::kEventName};
    DiagnosticsLog m_log;
    ResamplerLibrary m_library;
    std::vector<int32_t> m_blocks[2];
    std::thread m_thread;
    int m_next = 0;
    bool m_ok = false;
};

LoadedDisc& resamplingDisc() {
    static LoadedDisc disc(16, 44100, 30);
    return disc;
}

// Time per iteration as a share of the audio it produced, in percent.
benchmark::Counter audioShare(double outputRate, int32_t framesPerIteration) {
    return benchmark::Counter(framesPerIteration / outputRate / 100.0,
                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ResamplingPlayback(benchmark::State& state) {
    const double outputRate = static_cast<double>(state.range(0));
    const int converter = static_cast<int>(state.range(1));
    LoadedDisc& disc = resamplingDisc();
    if (!disc.ok()) {
        state.SkipWithError("disc not loaded");
        return;
    }
    ResamplingRig rig(outputRate, converter, *disc.cd);
    if (!rig.ok()) {
        state.SkipWithError("resampling thread did not start");
        return;
    }
    // The playback thread's own CPU time per block: what the conversion costs the machine,
    // without the benchmark thread's waiting.
    for (auto _ : state) {
        double before = rig.threadCpuSeconds();
        rig.fillNext();
        state.SetIterationTime(rig.threadCpuSeconds() - before);
    }
    state.counters["realtime%"] = audioShare(outputRate, rig.blockFrames());
}
BENCHMARK(BM_ResamplingPlayback)
    ->Args({176400, 0})
    ->Args({176400, 1})
    ->Args({48000, 0})
    ->Args({48000, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// libsamplerate alone on the same data, the same framing, no hand-off.
void BM_BareSrcProcess(benchmark::State& state) {
    const double outputRate = static_cast<double>(state.range(0));
    const int converter = static_cast<int>(state.range(1));
    LoadedDisc& disc = resamplingDisc();
    if (!disc.ok()) {
        state.SkipWithError("disc not loaded");
        return;
    }
    const CdDescriptor& cd = *disc.cd;
    const int32_t n = DspEngine::ComputeBlockFrames(512, outputRate);
    const int32_t inputFrames = ResamplerInputFrames(cd.sampleRate, outputRate, n);
    const int32_t frames = static_cast<int32_t>(cd.frameCount);
    std::vector<float> input(2 * static_cast<size_t>(frames) + 2 * static_cast<size_t>(inputFrames), 0.0f);
    for (int32_t i = 0; i < 2 * frames; ++i) {
        int16_t s = static_cast<int16_t>(cd.audioData[2 * i] | (cd.audioData[2 * i + 1] << 8));
        input[i] = static_cast<float>(s) / 32767.0f;
    }
    std::vector<float> output(2 * static_cast<size_t>(n + 16));
    int error = 0;
    SRC_STATE* converterState = src_new(converter, 2, &error);
    SRC_DATA data{};
    data.data_out = output.data();
    data.input_frames = inputFrames;
    data.output_frames = n + 16;
    data.src_ratio = outputRate / cd.sampleRate;
    long position = 0;
    long produced = 0;
    for (auto _ : state) {
        long generated = 0;
        while (generated < n) {
            data.data_in = input.data() + 2 * position;
            src_process(converterState, &data);
            position += data.input_frames_used;
            if (position >= frames) {
                position = 0;
                src_reset(converterState);
            }
            generated += data.output_frames_gen;
        }
        produced += generated;
        benchmark::DoNotOptimize(output.data());
    }
    src_delete(converterState);
    state.counters["realtime%"] =
        benchmark::Counter(static_cast<double>(produced) / outputRate / 100.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BareSrcProcess)
    ->Args({176400, 0})
    ->Args({176400, 1})
    ->Args({48000, 0})
    ->Args({48000, 1})
    ->Unit(benchmark::kMillisecond);

// ---- Late blocks of a real-time session under load ----

// Registers the capture driver (from the plug-in directory next to this program) in a registry
// file of its own, writing to a scratch file.
bool registerCaptureDriver(double rate) {
    const std::string clsid = "{6F1C3A52-8E4B-4D2A-9C71-2B5E8D04A913}";
    const std::string module = driverPluginDirectory() + "/quoril-capture.so";
    if (!std::filesystem::exists(module)) {
        return false;
    }
    Registry registry;
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Quoril Capture";
    registry.setString(key, "clsid", clsid);
    registry.setString(key, "description", "Quoril Capture");
    registry.setString(key, "File", scratchDirectory() + "/session.wav");
    registry.setString(key, "Speed", "1");
    registry.setDword(key, "BufferSize", 512);
    registry.setDword(key, "Rate", static_cast<uint32_t>(rate));
    registry.setString("HKEY_CLASSES_ROOT\\clsid\\" + clsid + "\\InprocServer32", "", module);
    const std::string path = scratchDirectory() + "/registry.reg";
    if (!registry.save(path)) {
        return false;
    }
    setenv("QUORIL_REGISTRY", path.c_str(), 1);
    setenv("HOME", scratchDirectory().c_str(), 1);
    return true;
}

void BM_LateBlocksInARealTimeSessionUnderLoad(benchmark::State& state) {
    const double rate = 176400;
    const int seconds = 60;
    LoadedDisc disc(16, 44100, seconds + 5);
    if (!disc.ok() || !registerCaptureDriver(rate)) {
        state.SkipWithError("disc or capture driver not available");
        return;
    }
    for (auto _ : state) {
        // Another process keeps a core busy for the whole session.
        pid_t busy = fork();
        if (busy == 0) {
            volatile unsigned long spin = 0;
            for (;;) {
                spin = spin + 1;
            }
        }
        DiagnosticsLog startLog;
        DiagnosticsLog runLog;
        int32_t late = -1;
        {
            DspEngine engine("Quoril Capture", scratchDirectory(), rate, 0, 0, 0.0, startLog);
            if (engine.active) {
                engine.StartThread(disc.cd.get(), 0.0, runLog);
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                engine.TogglePlay();
                std::this_thread::sleep_for(std::chrono::seconds(seconds));
                late = engine.lateBlocks();
                engine.Terminate();
            }
        }
        if (busy > 0) {
            kill(busy, SIGKILL);
            waitpid(busy, nullptr, 0);
        }
        if (late < 0) {
            state.SkipWithError(("engine did not start:\n" + startLog.snapshot()).c_str());
            return;
        }
        state.counters["late_blocks"] = late;
        state.counters["priority_raised"] =
            runLog.snapshot().find("NOT set to optimum priority") == std::string::npos ? 1 : 0;
    }
}
BENCHMARK(BM_LateBlocksInARealTimeSessionUnderLoad)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// ---- Summary ----

class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                m_runs[run.benchmark_name()] = run.counters;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double counter(const std::string& name, const std::string& key) const {
        auto run = m_runs.find(name);
        if (run == m_runs.end()) {
            return NAN;
        }
        auto value = run->second.find(key);
        return value == run->second.end() ? NAN : value->second.value;
    }

  private:
    std::map<std::string, benchmark::UserCounters> m_runs;
};

void printSummary(const CollectingReporter& reporter) {
    std::printf("\nDSP summary\n");
    for (int bits : {16, 24}) {
        std::string fill = "BM_BlockFill/" + std::to_string(bits);
        std::string plain = "BM_PlainConversionLoop/" + std::to_string(bits);
        if (std::isnan(reporter.counter(fill, "core%@44k1"))) {
            continue;
        }
        std::printf(
            "  block fill %d-bit: %.4f %% of a core at 44.1 kHz (target < 0.05), %.4f %% at 192 kHz "
            "(target < 0.2); plain loop %.4f %% / %.4f %%\n",
            bits, reporter.counter(fill, "core%@44k1"), reporter.counter(fill, "core%@192k"),
            reporter.counter(plain, "core%@44k1"), reporter.counter(plain, "core%@192k"));
    }
    for (const char* args : {"176400/0", "176400/1", "48000/0", "48000/1"}) {
        double thread =
            reporter.counter(std::string("BM_ResamplingPlayback/") + args + "/manual_time", "realtime%");
        double bare = reporter.counter(std::string("BM_BareSrcProcess/") + args, "realtime%");
        if (std::isnan(thread) || std::isnan(bare)) {
            continue;
        }
        std::printf(
            "  resampling 44.1 kHz -> %s (rate/converter): playback thread %.2f %% of a core, bare "
            "src_process %.2f %%, overhead %+.1f %% (target within 5 %%)\n",
            args, thread, bare, (thread / bare - 1.0) * 100.0);
    }
    double late =
        reporter.counter("BM_LateBlocksInARealTimeSessionUnderLoad/iterations:1/real_time", "late_blocks");
    if (!std::isnan(late)) {
        std::printf(
            "  60 s session at 176.4 kHz, best converter, a core kept busy: %.0f late blocks (target 0)\n",
            late);
    }
}

}  // namespace
}  // namespace quoril

int main(int argc, char** argv) {
    std::vector<char*> args;
    bool session = true;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-session") == 0) {
            session = false;
        } else {
            args.push_back(argv[i]);
        }
    }
    std::string filter = "--benchmark_filter=-BM_LateBlocks";
    if (!session) {
        args.push_back(filter.data());
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    quoril::CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    quoril::printSummary(reporter);
    benchmark::Shutdown();
    std::filesystem::remove_all(quoril::scratchDirectory());
    return 0;
}
