#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct evp_md_ctx_st;

namespace quoril {

// A message digest from libcrypto (which uses the processor's SHA instructions where there are
// any): SHA-256 of a loaded store, to check it against a reference decode, and MD5 of a FLAC
// file's region, to check it against the signature in the file. Fed in pieces of any size; one
// object per thread at a time.
class Digest {
  public:
    enum Kind { Sha256, Md5 };
    explicit Digest(Kind kind);
    ~Digest();
    Digest(const Digest&) = delete;
    Digest& operator=(const Digest&) = delete;

    // Starts again from an empty message.
    void reset();
    void update(const void* data, size_t size);
    // The digest of everything fed since the start; the object must be reset before reuse.
    std::vector<uint8_t> finish();

    // Lowercase hex digits of bytes.
    static std::string hex(const std::vector<uint8_t>& bytes);

  private:
    Kind m_kind;
    evp_md_ctx_st* m_context;
};

}  // namespace quoril
