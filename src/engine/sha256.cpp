#include "engine/sha256.h"

#include <openssl/evp.h>

namespace quorvane::engine {

void Sha256::Free::operator()(evp_md_ctx_st* context) const {
    EVP_MD_CTX_free(context);
}

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::add(std::span<const char> bytes) {
    EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size());
}

std::string Sha256::finishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context_.get(), digest, &length);
    EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

std::string Sha256::hexOf(std::string_view bytes) {
    Sha256 hash;
    hash.add(bytes);
    return hash.finishHex();
}

std::optional<std::string> normalisedSha256(std::string_view text) {
    if (text.size() != 64) return std::nullopt;
    std::string lower;
    for (char c : text) {
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
        lower += c;
    }
    return lower;
}

}  // namespace quorvane::engine
