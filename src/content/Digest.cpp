#include "content/Digest.h"

#include <openssl/evp.h>

namespace quoril {

namespace {

const EVP_MD* algorithm(Digest::Kind kind) {
    return kind == Digest::Sha256 ? EVP_sha256() : EVP_md5();
}

}  // namespace

Digest::Digest(Kind kind) : m_kind(kind), m_context(EVP_MD_CTX_new()) {
    reset();
}

Digest::~Digest() {
    EVP_MD_CTX_free(m_context);
}

// libcrypto fails these calls only when it cannot allocate; the digest then reads as empty, which
// matches no signature and no reference.
void Digest::reset() {
    if (m_context != nullptr) {
        EVP_DigestInit_ex(m_context, algorithm(m_kind), nullptr);
    }
}

void Digest::update(const void* data, size_t size) {
    if (m_context != nullptr && size > 0) {
        EVP_DigestUpdate(m_context, data, size);
    }
}

std::vector<uint8_t> Digest::finish() {
    std::vector<uint8_t> out(EVP_MAX_MD_SIZE);
    unsigned size = 0;
    if (m_context == nullptr || EVP_DigestFinal_ex(m_context, out.data(), &size) != 1) {
        size = 0;
    }
    out.resize(size);
    return out;
}

std::string Digest::hex(const std::vector<uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

}  // namespace quoril
