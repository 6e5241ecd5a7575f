// Measures, each as a ratio within one run, how fast quoril --check --load fills its store from
// generated discs: the RAM load (in this process, as the player does it) of a 10-minute 24/96 FLAC
// file and of a 10-file 16/44.1 FLAC sheet against `flac -d -c FILES > /dev/null` (both check the
// MD5 signatures), with one load worker and with one per core; the whole quoril --check --load
// process (which adds the SHA-256) against the same decode; WAV
// files loaded in this process (as the player loads them) against `cat FILE > /dev/null` from a warm
// page cache; the peak resident memory against
// the store; and the whole of `quoril --check` of a small disc with three registered drivers.
// The commands of one comparison run in turns, and the figure is the median of the ratios of
// each turn, so that a change in the machine's load moves both sides of a ratio alike.
//
// usage: content_bench [QUORIL_BINARY] [--minutes N] [--runs N] [--keep DIR]

#include <FLAC++/encoder.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "content/RamLoadThread.h"
#include "platform/DiagnosticsLog.h"

namespace {

constexpr double kTailBytes = 1152000;
constexpr double kMiB = 1048576.0;

struct DiscFormat {
    int bits;
    uint32_t rate;
};

struct ChildRun {
    double seconds = 0;
    long maxRssKiB = 0;
    int status = -1;
    std::string out;
};

// Runs argv with stdout to /dev/null (or captured), returns wall time, peak RSS and status.
ChildRun runChild(const std::vector<std::string>& args, bool capture) {
    ChildRun result;
    int pipeFds[2] = {-1, -1};
    if (capture && pipe(pipeFds) != 0) {
        return result;
    }
    auto started = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int out = capture ? pipeFds[1] : open("/dev/null", O_WRONLY);
        dup2(out, STDOUT_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        if (capture) {
            close(pipeFds[0]);
        }
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (capture) {
        close(pipeFds[1]);
        char buffer[4096];
        ssize_t got;
        while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            result.out.append(buffer, static_cast<size_t>(got));
        }
        close(pipeFds[0]);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.maxRssKiB = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A music-like test signal: a few partials with slowly moving levels and a little noise, so that
// FLAC compresses it about as much as a recording.
class Signal {
  public:
    Signal(int bits, uint32_t rate) : m_bits(bits), m_rate(rate) {}

    void fill(std::vector<int32_t>& interleaved, size_t frames) {
        interleaved.resize(frames * 2);
        const double full = std::ldexp(1.0, m_bits - 1) - 1;
        for (size_t i = 0; i < frames; ++i, ++m_frame) {
            double t = static_cast<double>(m_frame) / m_rate;
            double level = 0.25 + 0.15 * std::sin(2 * M_PI * 0.1 * t);
            double left = level * (std::sin(2 * M_PI * 220 * t) + 0.5 * std::sin(2 * M_PI * 331 * t) +
                                   0.25 * std::sin(2 * M_PI * 1250 * t));
            double right = level * (std::sin(2 * M_PI * 277 * t) + 0.5 * std::sin(2 * M_PI * 440 * t) +
                                    0.25 * std::sin(2 * M_PI * 1870 * t));
            m_noise = m_noise * 6364136223846793005ULL + 1442695040888963407ULL;
            double noise = (static_cast<double>(m_noise >> 40) / 16777216.0 - 0.5) * 0.002;
            interleaved[2 * i] =
                static_cast<int32_t>(std::lround(std::clamp(left / 2 + noise, -1.0, 1.0) * full));
            interleaved[2 * i + 1] =
                static_cast<int32_t>(std::lround(std::clamp(right / 2 - noise, -1.0, 1.0) * full));
        }
    }

  private:
    int m_bits;
    uint32_t m_rate;
    uint64_t m_frame = 0;
    uint64_t m_noise = 12345;
};

void putLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
}

// Writes the same audio as a WAV and a FLAC file.
bool writeDisc(const DiscFormat& format, uint64_t frames, const std::string& wavPath,
               const std::string& flacPath) {
    const int bytesPerSample = format.bits / 8;
    const uint32_t blockAlign = 2 * bytesPerSample;
    const uint64_t dataBytes = frames * blockAlign;
    FILE* wav = std::fopen(wavPath.c_str(), "wb");
    if (wav == nullptr) {
        return false;
    }
    std::string header = "RIFF";
    putLe(header, static_cast<uint32_t>(36 + dataBytes), 4);
    header += "WAVEfmt ";
    putLe(header, 16, 4);
    putLe(header, 1, 2);
    putLe(header, 2, 2);
    putLe(header, format.rate, 4);
    putLe(header, format.rate * blockAlign, 4);
    putLe(header, blockAlign, 2);
    putLe(header, static_cast<uint32_t>(format.bits), 2);
    header += "data";
    putLe(header, static_cast<uint32_t>(dataBytes), 4);
    std::fwrite(header.data(), 1, header.size(), wav);

    FLAC::Encoder::File encoder;
    encoder.set_channels(2);
    encoder.set_bits_per_sample(static_cast<uint32_t>(format.bits));
    encoder.set_sample_rate(format.rate);
    encoder.set_compression_level(5);
    encoder.set_total_samples_estimate(frames);
    if (encoder.init(flacPath) != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        std::fclose(wav);
        return false;
    }
    Signal signal(format.bits, format.rate);
    std::vector<int32_t> samples;
    std::string bytes;
    const uint64_t chunk = 65536;
    for (uint64_t done = 0; done < frames; done += chunk) {
        const size_t count = static_cast<size_t>(std::min(chunk, frames - done));
        signal.fill(samples, count);
        bytes.clear();
        for (int32_t sample : samples) {
            putLe(bytes, static_cast<uint32_t>(sample), bytesPerSample);
        }
        std::fwrite(bytes.data(), 1, bytes.size(), wav);
        if (!encoder.process_interleaved(samples.data(), static_cast<uint32_t>(count))) {
            std::fclose(wav);
            return false;
        }
    }
    bool ok = std::fclose(wav) == 0;
    return encoder.finish() && ok;
}

// The seconds of the "load" line of quoril --check --load; negative when it is missing.
double loadSeconds(const std::string& out) {
    size_t at = out.find("\nload ");
    return at == std::string::npos ? -1 : std::strtod(out.c_str() + at + 6, nullptr);
}

// The RAM load of a disc in this process, as the player does it (--check adds its SHA-256), with
// `workers` load workers (0: one per core); seconds, negative when the disc did not open or load.
double loadInProcess(const std::string& path, int workers) {
    if (workers > 0) {
        setenv("QUORIL_LOAD_THREADS", std::to_string(workers).c_str(), 1);
    } else {
        unsetenv("QUORIL_LOAD_THREADS");
    }
    quoril::Settings settings;
    quoril::DiagnosticsLog log;
    quoril::CdDescriptor disc(path, log, settings);
    if (!disc.active) {
        return -1;
    }
    quoril::LoadProgress progress{0};
    const auto started = std::chrono::steady_clock::now();
    quoril::RamLoadThread::run({&disc, &progress, &log});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    unsetenv("QUORIL_LOAD_THREADS");
    return disc.active ? seconds : -1;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return NAN;
    }
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// quoril --check --load with `workers` load workers (0: one per core).
ChildRun runQuoril(const std::string& quoril, const std::string& path, int workers) {
    if (workers > 0) {
        setenv("QUORIL_LOAD_THREADS", std::to_string(workers).c_str(), 1);
    } else {
        unsetenv("QUORIL_LOAD_THREADS");
    }
    ChildRun run = runChild({quoril, "--check", "--load", path}, true);
    unsetenv("QUORIL_LOAD_THREADS");
    return run;
}

struct Figures {
    double reference = 0;      // median seconds of the reference command
    double load[2] = {0, 0};   // median RAM-load seconds (in this process) with 1 worker and one per core
    double ratio[2] = {0, 0};  // median of the per-turn load / reference ratios
    double processRatio = 0;   // median of the per-turn whole-process (one per core) / reference
    std::string digest[2];
    long maxRssKiB = 0;
    bool ok = true;
};

// The reference command and quoril with 1 worker and with one per core, in turns.
Figures compare(const std::vector<std::string>& reference, const std::string& quoril, const std::string& path,
                int runs) {
    Figures f;
    // One untimed round first: the files come into the page cache for all.
    runChild(reference, false);
    loadInProcess(path, 0);
    std::vector<double> refs, loads[2], ratios[2], process;
    for (int run = 0; run < runs; ++run) {
        ChildRun ref = runChild(reference, false);
        if (ref.status != 0) {
            std::fprintf(stderr, "%s failed (status %d)\n", reference[0].c_str(), ref.status);
            f.ok = false;
            return f;
        }
        refs.push_back(ref.seconds);
        for (int k = 0; k < 2; ++k) {
            const double seconds = loadInProcess(path, k == 0 ? 1 : 0);
            if (seconds < 0) {
                std::fprintf(stderr, "%s did not load\n", path.c_str());
                f.ok = false;
                return f;
            }
            loads[k].push_back(seconds);
            ratios[k].push_back(seconds / ref.seconds);
        }
        ChildRun child = runQuoril(quoril, path, 0);
        if (child.status != 0 || loadSeconds(child.out) < 0) {
            std::fprintf(stderr, "quoril --check --load %s failed (status %d):\n%s\n", path.c_str(),
                         child.status, child.out.c_str());
            f.ok = false;
            return f;
        }
        process.push_back(child.seconds / ref.seconds);
        f.maxRssKiB = std::max(f.maxRssKiB, child.maxRssKiB);
    }
    // The digest the check prints, with one worker and with one per core.
    for (int k = 0; k < 2; ++k) {
        const std::string out = runQuoril(quoril, path, k == 0 ? 1 : 0).out;
        const size_t at = out.find("\nsha256 ");
        f.digest[k] = at == std::string::npos ? "" : out.substr(at + 8, 64);
    }
    f.reference = median(refs);
    for (int k = 0; k < 2; ++k) {
        f.load[k] = median(loads[k]);
        f.ratio[k] = median(ratios[k]);
    }
    f.processRatio = median(process);
    return f;
}

const char* verdict(bool pass) {
    return pass ? "ok" : "MISSED";
}

bool writeText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "w");
    return file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
           std::fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string quoril = "quoril";
    double minutes = 10;
    int runs = 5;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
            minutes = std::strtod(argv[++i], nullptr);
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc) {
            keep = argv[++i];
        } else {
            quoril = argv[i];
        }
    }

    std::string base = keep;
    if (base.empty()) {
        char templ[] = "/tmp/quoril-bench-XXXXXX";
        if (mkdtemp(templ) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        base = templ;
    }
    std::filesystem::create_directories(base);
    // quoril reads its settings as start-up does: keep it away from the user's own.
    setenv("HOME", base.c_str(), 1);
    setenv("QUORIL_REGISTRY", (base + "/registry.reg").c_str(), 1);
    std::printf("%u cores; each figure is the median of %d turns\n", std::thread::hardware_concurrency(),
                runs);

    // The discs: one 24/96 file, and 16/44.1 audio as one WAV file and as a sheet of ten FLAC files.
    const uint64_t frames96 = static_cast<uint64_t>(minutes * 60 * 96000);
    const uint64_t frames44 = static_cast<uint64_t>(minutes * 60 * 44100);
    const std::string wav96 = base + "/disc24_96000.wav", flac96 = base + "/disc24_96000.flac";
    const std::string wav44 = base + "/disc16_44100.wav", sheet = base + "/sheet16_44100.cue";
    std::vector<std::string> sheetFiles;
    std::string sheetText;
    for (int i = 1; i <= 10; ++i) {
        sheetFiles.push_back(base + "/track" + std::to_string(i) + ".flac");
        sheetText += "FILE \"track" + std::to_string(i) + ".flac\" WAVE\n  TRACK " + (i < 10 ? "0" : "") +
                     std::to_string(i) + " AUDIO\n    INDEX 01 00:00:00\n";
    }
    if (!std::filesystem::exists(flac96) || !std::filesystem::exists(sheetFiles.back())) {
        std::printf("generating %g minutes of 24/96 and of 16/44.1 audio...\n", minutes);
        std::fflush(stdout);
        bool written = writeDisc({24, 96000}, frames96, wav96, flac96) && writeText(sheet, sheetText);
        for (size_t i = 0; written && i < sheetFiles.size(); ++i) {
            written = writeDisc({16, 44100}, frames44 / 10, base + "/scratch.wav", sheetFiles[i]);
        }
        written = written && writeDisc({16, 44100}, frames44, wav44, base + "/scratch.flac");
        if (!written) {
            std::fprintf(stderr, "cannot write the test discs in %s\n", base.c_str());
            return 1;
        }
    }

    bool allMet = true;
    const auto flacLoad = [&](const char* title, std::vector<std::string> reference, const std::string& path,
                              double audioBytes, bool whole) {
        Figures f = compare(reference, quoril, path, runs);
        if (!f.ok) {
            return false;
        }
        const bool met1 = f.ratio[0] <= 1.02;
        const bool metN = f.ratio[1] <= 0.65;
        std::printf("%s: flac -d %.3f s\n", title, f.reference);
        std::printf("  FLAC load, 1 worker     %.3f s: ratio %.3f (target <= 1.02) %s\n", f.load[0],
                    f.ratio[0], verdict(met1));
        std::printf("  FLAC load, all cores    %.3f s: ratio %.3f (target <= 0.65) %s\n", f.load[1],
                    f.ratio[1], verdict(metN));
        allMet = allMet && met1 && metN;
        {
            const bool met = !whole || f.processRatio <= 0.65;
            std::printf("  whole --check --load, all cores: ratio %.3f%s %s\n", f.processRatio,
                        whole ? " (target <= 0.65)" : "", whole ? verdict(met) : "");
            allMet = allMet && met;
        }
        const bool same = f.digest[0] == f.digest[1] && !f.digest[0].empty();
        std::printf("  SHA-256 with 1 worker and with all cores %s\n", same ? "the same" : "DIFFERENT");
        const double storeMiB = (audioBytes + kTailBytes) / kMiB;
        const double peakMiB = static_cast<double>(f.maxRssKiB) / 1024.0;
        const bool memoryMet = peakMiB - storeMiB <= 60;
        std::printf(
            "  peak RSS %.1f MB = store + %.1f MB: ratio %.3f to the store (target: store + 60 MB) %s\n",
            peakMiB, peakMiB - storeMiB, peakMiB / storeMiB, verdict(memoryMet));
        allMet = allMet && same && memoryMet;
        return true;
    };
    std::vector<std::string> sheetReference = {"flac", "-s", "-d", "-c"};
    sheetReference.insert(sheetReference.end(), sheetFiles.begin(), sheetFiles.end());
    if (!flacLoad("\n24/96 FLAC file", {"flac", "-s", "-d", "-c", flac96}, flac96,
                  static_cast<double>(frames96) * 6, true) ||
        !flacLoad("\n10-file 16/44.1 FLAC sheet", sheetReference, sheet,
                  static_cast<double>(frames44 / 10 * 10) * 4, false)) {
        return 1;
    }

    // WAV: the load's throughput against cat's from a warm page cache, in turns.
    for (const auto& [title, wav, bytesPerFrame, frames] :
         {std::tuple{"16/44.1", wav44, 4, frames44}, std::tuple{"24/96", wav96, 6, frames96}}) {
        const double audioMiB = static_cast<double>(frames) * bytesPerFrame / kMiB;
        const double fileMiB = static_cast<double>(std::filesystem::file_size(wav)) / kMiB;
        runChild({"cat", wav}, false);
        std::vector<double> ratios, loads, cats;
        for (int run = 0; run < runs; ++run) {
            const double cat = runChild({"cat", wav}, false).seconds;
            const double load = loadInProcess(wav, 0);
            if (load < 0) {
                std::fprintf(stderr, "the WAV file %s did not load\n", wav.c_str());
                return 1;
            }
            cats.push_back(cat);
            loads.push_back(load);
            ratios.push_back((audioMiB / load) / (fileMiB / cat));
        }
        const double ratio = median(ratios);
        const bool met = ratio >= 0.8;
        std::printf("\n%s WAV load %.0f MB/s, cat %.0f MB/s: throughput ratio %.3f (target >= 0.80) %s\n",
                    title, audioMiB / median(loads), fileMiB / median(cats), ratio, verdict(met));
        allMet = allMet && met;
    }

    // The whole of `quoril --check` of a small disc with the bundled drivers registered.
    ChildRun registered = runChild({quoril, "--register"}, false);
    const std::string small = base + "/small.wav";
    writeDisc({16, 44100}, 44100 * 20, small, base + "/small.flac");
    std::vector<double> checks;
    for (int run = 0; run < 3 * runs; ++run) {
        checks.push_back(runChild({quoril, "--check", small}, false).seconds * 1000);
    }
    const double checkMs = median(checks);
    const bool checkMet = checkMs < 50;
    std::printf(
        "\nquoril --check of a 20-second disc, drivers registered (status %d): %.1f ms (target < 50) %s\n",
        registered.status, checkMs, verdict(checkMet));
    allMet = allMet && checkMet;

    if (keep.empty()) {
        std::filesystem::remove_all(base);
    }
    std::printf("\n%s\n", allMet ? "all targets met" : "some targets missed");
    return allMet ? 0 : 1;
}
