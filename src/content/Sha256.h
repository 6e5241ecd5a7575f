#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quoril {

// SHA-256 of a byte stream, for checking a loaded store against a reference decode. Fed in
// pieces of any size; any thread, one object per thread.
class Sha256 {
  public:
    Sha256();
    void update(const void* data, size_t size);
    // The digest; the object must not be updated afterwards.
    std::array<uint8_t, 32> finish();

    // 64 lowercase hex digits of the digest of data.
    static std::string hex(const void* data, size_t size);

  private:
    void compress(const uint8_t* block);

    std::array<uint32_t, 8> m_state;
    std::array<uint8_t, 64> m_buffer{};
    size_t m_buffered = 0;
    uint64_t m_totalBytes = 0;
};

}  // namespace quoril
