#include "FuzzWorkspace.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/FlacWriter.h"
#include "support/WavWriter.h"

namespace quoril::fuzz {

FuzzWorkspace& FuzzWorkspace::instance() {
    static FuzzWorkspace workspace;
    return workspace;
}

FuzzWorkspace::FuzzWorkspace() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quoril-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("quoril fuzz workspace");
        std::abort();
    }
    m_directory = pattern;

    using test::makeSamples;
    test::WavWriter(16, 2, kFixtureRate)
        .samples(makeSamples(kFixtureFrames, 16, 2, 1))
        .write(m_directory + "/a.wav");
    test::WavWriter(16, 2, kFixtureRate)
        .samples(makeSamples(kFixtureFrames, 16, 2, 2))
        .write(m_directory + "/b.wav");
    test::WavWriter(24, 2, kFixtureRate)
        .samples(makeSamples(kFixtureFrames, 24, 2, 3))
        .write(m_directory + "/d24.wav");
    test::WavWriter(16, 2, 2 * kFixtureRate)
        .samples(makeSamples(kFixtureFrames, 16, 2, 4))
        .write(m_directory + "/f48k.wav");
    // Declares a thousand frames more than it holds: the load truncates it.
    test::WavWriter(16, 2, kFixtureRate)
        .samples(makeSamples(kFixtureFrames, 16, 2, 7))
        .declaredDataSize(static_cast<uint32_t>((kFixtureFrames + 1000) * 4))
        .write(m_directory + "/t.wav");
    test::FlacOptions flac16;
    flac16.rate = kFixtureRate;
    test::writeFlac(m_directory + "/c.flac", makeSamples(kFixtureFrames, 16, 2, 5), flac16);
    test::FlacOptions flac24 = flac16;
    flac24.bits = 24;
    test::writeFlac(m_directory + "/e.flac", makeSamples(kFixtureFrames, 24, 2, 6), flac24);

    std::string meminfo = m_directory + "/meminfo";
    std::ofstream(meminfo) << "MemTotal:        262144 kB\nMemFree:          65536 kB\nMemAvailable:    "
                           << kAvailableKib << " kB\n";
    setenv("QUORIL_MEMINFO", meminfo.c_str(), 1);
}

FuzzWorkspace::~FuzzWorkspace() {
    std::error_code ignored;
    std::filesystem::remove_all(m_directory, ignored);
}

std::string FuzzWorkspace::write(const std::string& name, const void* data, size_t size) const {
    std::string path = m_directory + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fclose(file);
    return path;
}

}  // namespace quoril::fuzz
