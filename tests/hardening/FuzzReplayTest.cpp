// Every fuzz target's entry function over its seed corpus, a few blocks of random bytes and the
// inputs kept in fuzz/regressions/<target>/ (crashes the fuzzer once found). Each input runs in a
// child process, so a crash names its input and the other inputs still run.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "FuzzWorkspace.h"
#include "support/TempDir.h"

namespace quoril::fuzz {
namespace {

struct Input {
    std::string label;
    std::string bytes;
};

std::vector<Input> keptInputs(const std::string& target) {
    std::vector<Input> inputs;
    std::filesystem::path dir = std::filesystem::path(test::sourceDir()) / "fuzz" / "regressions" / target;
    if (!std::filesystem::is_directory(dir)) {
        return inputs;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            inputs.push_back({entry.path().filename().string(), test::readFile(entry.path().string())});
        }
    }
    std::sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) { return a.label < b.label; });
    return inputs;
}

// Runs the entry over one input in a child; the child's exit status, or -signal when it died.
int runInChild(const FuzzTarget& target, const std::string& bytes) {
    pid_t pid = fork();
    if (pid == 0) {
        int result = target.entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        _exit(result == 0 ? 0 : 3);
    }
    if (pid < 0) {
        return -1000;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {
  protected:
    static void SetUpTestSuite() { FuzzWorkspace::instance(); }
};

TEST_P(FuzzReplay, SeedsAndKeptCrashInputsRunCleanly) {
    const FuzzTarget* target = findFuzzTarget(GetParam());
    ASSERT_NE(target, nullptr);
    std::vector<Input> inputs;
    int n = 0;
    for (std::string& seed : target->seeds()) {
        inputs.push_back({"seed-" + std::to_string(n++), std::move(seed)});
    }
    ASSERT_FALSE(inputs.empty()) << "a target without seeds starts from nothing";
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        std::mt19937 random(seed);
        std::string bytes(64 * 1024, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        inputs.push_back({"random-" + std::to_string(seed), std::move(bytes)});
    }
    for (Input& kept : keptInputs(target->name)) {
        inputs.push_back(std::move(kept));
    }
    for (const Input& input : inputs) {
        EXPECT_EQ(runInChild(*target, input.bytes), 0) << target->name << " / " << input.label;
    }
}

TEST(FuzzReplayTargets, EveryKeptInputDirectoryBelongsToATarget) {
    std::filesystem::path dir = std::filesystem::path(test::sourceDir()) / "fuzz" / "regressions";
    ASSERT_TRUE(std::filesystem::is_directory(dir));
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.is_directory()) {
            EXPECT_NE(findFuzzTarget(entry.path().filename().string()), nullptr) << entry.path();
        }
    }
}

std::vector<std::string> targetNames() {
    std::vector<std::string> names;
    for (const FuzzTarget& target : fuzzTargets()) {
        names.emplace_back(target.name);
    }
    return names;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(targetNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace quoril::fuzz
