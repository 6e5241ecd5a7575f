#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quoril::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/quoril-test-XXXXXX";
    if (!mkdtemp(templ.data())) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    m_path = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::file(const std::string& name) const {
    return m_path + "/" + name;
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    std::string path = file(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
    return path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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
