#include "CaptureWavFile.h"

#include <cerrno>
#include <cstring>

namespace quoril {

namespace {

constexpr uint32_t kHeaderBytes = 44;
// The RIFF size field counts everything after itself; keep the data a whole number of frames.
constexpr uint64_t kMaxDataBytes = (0xffffffffull - (kHeaderBytes - 8)) / 8 * 8;

void put16(unsigned char* at, uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put32(unsigned char* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

}  // namespace

bool CaptureWavFile::open(const std::string& path, uint32_t rate) {
    close();
    m_file = std::fopen(path.c_str(), "wb");
    if (m_file == nullptr) {
        m_error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 16);
    m_rate = rate;
    m_dataBytes = 0;
    if (!writeHeader()) {
        close();
        return false;
    }
    return true;
}

bool CaptureWavFile::writeHeader() {
    unsigned char header[kHeaderBytes];
    const uint32_t dataBytes = static_cast<uint32_t>(m_dataBytes);
    std::memcpy(header, "RIFF", 4);
    put32(header + 4, kHeaderBytes - 8 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(header + 16, 16);      // fmt chunk size
    put16(header + 20, 1);       // PCM
    put16(header + 22, 2);       // channels
    put32(header + 24, m_rate);  // frames per second
    put32(header + 28, m_rate * 8);
    put16(header + 32, 8);   // block align: 2 channels x 4 bytes
    put16(header + 34, 32);  // bits per sample
    std::memcpy(header + 36, "data", 4);
    put32(header + 40, dataBytes);
    if (std::fseek(m_file, 0, SEEK_SET) != 0 ||
        std::fwrite(header, 1, sizeof header, m_file) != sizeof header ||
        std::fseek(m_file, 0, SEEK_END) != 0) {
        m_error = std::string("cannot write the header: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool CaptureWavFile::append(const int32_t* interleaved, size_t frames) {
    if (m_file == nullptr) {
        return false;
    }
    uint64_t bytes = static_cast<uint64_t>(frames) * 8;
    if (m_dataBytes + bytes > kMaxDataBytes) {
        bytes = kMaxDataBytes - m_dataBytes;
    }
    // Samples are written little-endian, as the host left them on this little-endian machine.
    if (bytes > 0 && std::fwrite(interleaved, 1, bytes, m_file) != bytes) {
        m_error = std::string("cannot write samples: ") + std::strerror(errno);
        return false;
    }
    m_dataBytes += bytes;
    return true;
}

bool CaptureWavFile::complete() {
    if (m_file == nullptr) {
        return false;
    }
    bool ok = writeHeader();
    return std::fflush(m_file) == 0 && ok;
}

void CaptureWavFile::close() {
    if (m_file != nullptr) {
        complete();
        std::fclose(m_file);
        m_file = nullptr;
    }
}

}  // namespace quoril
