#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "content/RamLoadThread.h"
#include "platform/DiagnosticsLog.h"
#include "support/FlacWriter.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril::test {

// Sets an environment variable for the life of the object; the tests leave these variables unset.
struct ScopedEnv {
    ScopedEnv(const char* variable, const std::string& value) : name(variable) {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { unsetenv(name); }
    const char* name;
};

// Writes discs into a temporary directory, opens and loads them, and remembers the bytes each
// generated file should put into the store.
class ContentTest : public ::testing::Test {
  protected:
    // Stereo files of `frames` frames; each returns its path.
    std::string wav(const std::string& name, size_t frames, int bits = 16, uint32_t rate = 44100,
                    uint32_t seed = 1) {
        std::vector<int32_t> samples = makeSamples(frames, bits, 2, seed);
        std::string path = dir.file(name);
        WavWriter(bits, 2, rate).samples(samples).write(path);
        expected[name] = packSamples(samples, bits);
        return path;
    }

    std::string flac(const std::string& name, size_t frames, int bits = 16, uint32_t rate = 44100,
                     uint32_t seed = 1, FlacOptions options = {}) {
        std::vector<int32_t> samples = makeSamples(frames, bits, options.channels, seed);
        options.bits = bits;
        options.rate = rate;
        std::string path = dir.file(name);
        EXPECT_TRUE(writeFlac(path, samples, options));
        expected[name] = packSamples(samples, bits);
        return path;
    }

    std::string cue(const std::string& name, const std::string& text) { return dir.write(name, text); }

    CdDescriptor& open(const std::string& path) {
        disc.reset();
        openLog.clear();
        disc = std::make_unique<CdDescriptor>(path, openLog, settings);
        return *disc;
    }

    std::string openText() const { return openLog.snapshot(); }
    // Runs the RAM load on this thread, as the load thread would; returns its log text.
    std::string load() {
        loadLog.clear();
        progress.store(0);
        RamLoadThread::run({disc.get(), &progress, &loadLog});
        return loadLog.snapshot();
    }

    std::string storeAudio() const {
        return std::string(reinterpret_cast<const char*>(disc->audioData),
                           static_cast<size_t>(disc->frameCount) * disc->blockAlign);
    }

    TempDir dir;
    Settings settings;
    DiagnosticsLog openLog;
    DiagnosticsLog loadLog;
    LoadProgress progress{0};
    std::unique_ptr<CdDescriptor> disc;
    std::map<std::string, std::string> expected;  // file name -> store bytes of its audio
};

}  // namespace quoril::test
