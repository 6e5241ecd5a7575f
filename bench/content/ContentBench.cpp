// Measures, in one run and each as a ratio, how fast quoril --check --load fills its store from
// generated 10-minute discs: a FLAC file against `flac -d -c FILE > /dev/null` (both check the MD5
// signature), a WAV file against `cat FILE > /dev/null` from a warm page cache, and the peak
// resident memory against the store size.
//
// usage: content_bench [QUORIL_BINARY] [--minutes N] [--keep DIR]

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
#include <vector>

namespace {

constexpr int kRuns = 5;
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

struct Comparison {
    double referenceSeconds = 1e9;  // best wall time of the reference command
    double loadSeconds = 1e9;       // best RAM-load time reported by quoril
    long maxRssKiB = 0;             // peak resident memory of quoril, over all runs
    bool ok = true;
};

// Runs the reference command and quoril --check --load on the same file in turns, so that a
// change in the machine's load affects both alike; keeps the best time of each.
Comparison compare(const std::vector<std::string>& reference, const std::string& quoril,
                   const std::string& file) {
    Comparison result;
    // One untimed round first: the file comes into the page cache for both.
    runChild(reference, false);
    runChild({quoril, "--check", "--load", file}, true);
    for (int run = 0; run < kRuns; ++run) {
        ChildRun ref = runChild(reference, false);
        if (ref.status != 0) {
            std::fprintf(stderr, "%s failed (status %d)\n", reference[0].c_str(), ref.status);
            result.ok = false;
            return result;
        }
        result.referenceSeconds = std::min(result.referenceSeconds, ref.seconds);
        ChildRun child = runChild({quoril, "--check", "--load", file}, true);
        double seconds = loadSeconds(child.out);
        if (child.status != 0 || seconds < 0) {
            std::fprintf(stderr, "quoril --check --load %s failed (status %d):\n%s\n", file.c_str(),
                         child.status, child.out.c_str());
            result.ok = false;
            return result;
        }
        result.loadSeconds = std::min(result.loadSeconds, seconds);
        result.maxRssKiB = std::max(result.maxRssKiB, child.maxRssKiB);
    }
    return result;
}

const char* verdict(bool pass) {
    return pass ? "ok" : "MISSED";
}

}  // namespace

int main(int argc, char** argv) {
    std::string quoril = "quoril";
    double minutes = 10;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc) {
            minutes = std::strtod(argv[++i], nullptr);
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

    bool allMet = true;
    for (const DiscFormat& format : {DiscFormat{16, 44100}, DiscFormat{24, 96000}}) {
        const uint64_t frames = static_cast<uint64_t>(minutes * 60 * format.rate);
        const std::string name =
            base + "/disc" + std::to_string(format.bits) + "_" + std::to_string(format.rate);
        const std::string wav = name + ".wav";
        const std::string flac = name + ".flac";
        if (!std::filesystem::exists(wav) || !std::filesystem::exists(flac)) {
            std::printf("generating %g minutes of %d-bit %u Hz audio...\n", minutes, format.bits,
                        format.rate);
            std::fflush(stdout);
            if (!writeDisc(format, frames, wav, flac)) {
                std::fprintf(stderr, "cannot write the test disc in %s\n", base.c_str());
                return 1;
            }
        }
        const double audioBytes = static_cast<double>(frames) * format.bits / 8 * 2;
        const double storeMiB = (audioBytes + kTailBytes) / kMiB;
        std::printf("\n%d-bit %u Hz, %g minutes: audio %.1f MB, store %.1f MB, FLAC file %.1f MB\n",
                    format.bits, format.rate, minutes, audioBytes / kMiB, storeMiB,
                    static_cast<double>(std::filesystem::file_size(flac)) / kMiB);

        // FLAC: RAM-load time against a decode to /dev/null (both verify the MD5 signature).
        Comparison fromFlac = compare({"flac", "-s", "-d", "-c", flac}, quoril, flac);
        if (!fromFlac.ok) {
            return 1;
        }
        double flacRatio = fromFlac.loadSeconds / fromFlac.referenceSeconds;
        bool flacMet = flacRatio <= 1.05;
        std::printf("  FLAC load   %.3f s, flac -d %.3f s: time ratio %.3f (target <= 1.05) %s\n",
                    fromFlac.loadSeconds, fromFlac.referenceSeconds, flacRatio, verdict(flacMet));

        // WAV: throughput against cat from a warm page cache.
        Comparison fromWav = compare({"cat", wav}, quoril, wav);
        if (!fromWav.ok) {
            return 1;
        }
        const double wavFileBytes = static_cast<double>(std::filesystem::file_size(wav));
        double catRate = wavFileBytes / kMiB / fromWav.referenceSeconds;
        double loadRate = audioBytes / kMiB / fromWav.loadSeconds;
        double wavRatio = loadRate / catRate;
        bool wavMet = wavRatio >= 0.4;
        std::printf("  WAV load    %.0f MB/s, cat %.0f MB/s: throughput ratio %.3f (target >= 0.40) %s\n",
                    loadRate, catRate, wavRatio, verdict(wavMet));

        // Peak resident memory of the whole quoril process against the store.
        double peakMiB = static_cast<double>(std::max(fromFlac.maxRssKiB, fromWav.maxRssKiB)) / 1024.0;
        double overMiB = peakMiB - storeMiB;
        bool memoryMet = overMiB <= 60;
        std::printf(
            "  peak RSS    %.1f MB = store + %.1f MB: ratio %.3f to the store (target: store + 60 MB) %s\n",
            peakMiB, overMiB, peakMiB / storeMiB, verdict(memoryMet));
        allMet = allMet && flacMet && wavMet && memoryMet;
    }

    if (keep.empty()) {
        std::filesystem::remove_all(base);
    }
    std::printf("\n%s\n", allMet ? "all targets met" : "some targets missed");
    return allMet ? 0 : 1;
}
