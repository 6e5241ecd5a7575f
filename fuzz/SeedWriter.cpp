// Writes the seed corpus of every target into <directory>/<target>/seed-<n>.
//   quoril_fuzz_seeds <directory>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "FuzzTargets.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: quoril_fuzz_seeds <directory>\n");
        return 2;
    }
    namespace fs = std::filesystem;
    for (const quoril::fuzz::FuzzTarget& target : quoril::fuzz::fuzzTargets()) {
        fs::path dir = fs::path(argv[1]) / target.name;
        fs::create_directories(dir);
        int n = 0;
        for (const std::string& seed : target.seeds()) {
            std::ofstream out(dir / ("seed-" + std::to_string(n++)), std::ios::binary);
            out.write(seed.data(), static_cast<std::streamsize>(seed.size()));
            if (!out) {
                std::fprintf(stderr, "cannot write %s\n", (dir / "seed").c_str());
                return 1;
            }
        }
    }
    return 0;
}
