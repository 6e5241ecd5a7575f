#pragma once

#include <cstdio>
#include <string>

namespace quoril {

// Writes a file so that readers only ever see the old or the new complete content: the data goes
// to a temporary file in the same directory, is flushed to disk, and is renamed over the target
// by commit(). Destroying an uncommitted writer removes the temporary file and leaves the target
// untouched.
class AtomicFileWriter {
  public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file; false when the directory cannot take it.
    bool open(const std::string& targetPath);
    FILE* stream() const { return m_file; }
    // Flushes, syncs and renames; false (and the target untouched) when any step fails.
    bool commit();
    void abandon();

  private:
    std::string m_target;
    std::string m_temp;
    FILE* m_file = nullptr;
};

// Convenience: the whole content at once.
bool writeFileAtomically(const std::string& path, const std::string& content);

}  // namespace quoril
