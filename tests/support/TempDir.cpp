#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quoril::test {

TempDir::TempDir() : m_path(std::filesystem::temp_directory_path() / "quoril-test-XXXXXX") {
    if (!mkdtemp(m_path.data())) {
        throw std::runtime_error("cannot create a temporary directory");
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    std::string path = file(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string buildDir() {
    const char* dir = std::getenv("QUORIL_BUILD_DIR");
    return dir ? dir : QUORIL_DEFAULT_BUILD_DIR;
}

std::string sourceDir() {
    const char* dir = std::getenv("QUORIL_SOURCE_DIR");
    return dir ? dir : QUORIL_DEFAULT_SOURCE_DIR;
}

}  // namespace quoril::test
