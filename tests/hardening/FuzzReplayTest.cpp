// Every fuzz target's entry over its seeds, random bytes and the crash inputs kept in fuzz/regressions/
// <target>/, each in a child process, so a crash names its input and the other inputs still run.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "FuzzWorkspace.h"
#include "support/TempDir.h"

namespace quoril::fuzz {
namespace {

// Runs the entry over one input in a child; the child's exit status, or -signal when it died.
int runInChild(const FuzzTarget& target, const std::string& bytes) {
    pid_t pid = fork();
    if (pid == 0) {
        _exit(target.entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) == 0 ? 0 : 3);
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
    std::map<std::string, std::string> inputs;  // by label
    for (std::string& seed : target->seeds()) {
        inputs["seed-" + std::to_string(inputs.size())] = std::move(seed);
    }
    ASSERT_FALSE(inputs.empty()) << "a target without seeds starts from nothing";
    std::mt19937 random(1);
    for (int n = 1; n <= 3; ++n) {
        std::string& bytes = inputs["random-" + std::to_string(n)];
        std::generate_n(std::back_inserter(bytes), 64 * 1024, [&] { return static_cast<char>(random()); });
    }
    const std::filesystem::path kept =
        std::filesystem::path(test::sourceDir()) / "fuzz/regressions" / target->name;
    if (std::filesystem::is_directory(kept)) {
        for (const auto& entry : std::filesystem::directory_iterator(kept)) {
            inputs[entry.path().filename().string()] = test::readFile(entry.path().string());
        }
    }
    for (const auto& [label, bytes] : inputs) {
        EXPECT_EQ(runInChild(*target, bytes), 0) << target->name << " / " << label;
    }
}

std::vector<std::string> targetNames() {
    std::vector<std::string> names;
    std::transform(fuzzTargets().begin(), fuzzTargets().end(), std::back_inserter(names),
                   [](const FuzzTarget& target) { return std::string(target.name); });
    return names;
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, ::testing::ValuesIn(targetNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace quoril::fuzz
