#pragma once

#include <string>

namespace quoril::test {

// A fresh directory in $TMPDIR (or /tmp), removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Writes content to path()/name and returns the full path.
    std::string write(const std::string& name, const std::string& content) const;

  private:
    std::string m_path;
};

std::string readFile(const std::string& path);

// The build tree (from $QUORIL_BUILD_DIR, which ctest sets) and the source tree.
std::string buildDir();
std::string sourceDir();

}  // namespace quoril::test
