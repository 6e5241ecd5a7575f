#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace quoril {

AtomicFileWriter::~AtomicFileWriter() {
    abandon();
}

bool AtomicFileWriter::open(const std::string& targetPath) {
    abandon();
    m_target = targetPath;
    m_temp = targetPath + ".XXXXXX";
    int fd = mkstemp(m_temp.data());
    if (fd < 0) {
        m_temp.clear();
        return false;
    }
    // mkstemp creates the file 0600; a settings or registry file is an ordinary user file.
    fchmod(fd, 0644);
    m_file = fdopen(fd, "w");
    if (!m_file) {
        ::close(fd);
        unlink(m_temp.c_str());
        m_temp.clear();
        return false;
    }
    return true;
}

bool AtomicFileWriter::commit() {
    if (!m_file) {
        return false;
    }
    bool ok = std::fflush(m_file) == 0 && !std::ferror(m_file) && fsync(fileno(m_file)) == 0;
    ok = (std::fclose(m_file) == 0) && ok;
    m_file = nullptr;
    if (ok && std::rename(m_temp.c_str(), m_target.c_str()) == 0) {
        m_temp.clear();
        return true;
    }
    unlink(m_temp.c_str());
    m_temp.clear();
    return false;
}

void AtomicFileWriter::abandon() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temp.empty()) {
        unlink(m_temp.c_str());
        m_temp.clear();
    }
}

bool writeFileAtomically(const std::string& path, const std::string& content) {
    AtomicFileWriter writer;
    if (!writer.open(path)) {
        return false;
    }
    if (!content.empty() &&
        std::fwrite(content.data(), 1, content.size(), writer.stream()) != content.size()) {
        return false;
    }
    return writer.commit();
}

}  // namespace quoril
