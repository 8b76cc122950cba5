#include "platform/cipher.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>

namespace quorvane::platform {

namespace {

struct CipherContextDeleter {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

using Digest = std::array<unsigned char, 32>;

constexpr int kBlockCipher = 1;   // AES-256-CBC with PKCS#7 padding
constexpr int kStreamCipher = 2;  // ChaCha20, output as long as input
// Keeps every length within OpenSSL's int arguments, padding included.
constexpr std::size_t kMaxDataBytes = INT_MAX / 2;

std::optional<Digest> sha256(std::string_view text) {
    Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
        length != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

struct KeyMaterial {
    Digest key{};
    std::array<unsigned char, 16> iv{};
};

std::optional<KeyMaterial> deriveKey(std::string_view password, int algorithm) {
    KeyMaterial material;
    const auto key = sha256(password);
    if (!key) return std::nullopt;
    material.key = *key;
    if (algorithm == kBlockCipher) {
        const auto ivSource = sha256(std::string(password) + "iv");
        if (!ivSource) return std::nullopt;
        std::copy_n(ivSource->begin(), material.iv.size(), material.iv.begin());
    }
    // ChaCha20 keeps the all-zero counter and nonce.
    return material;
}

const EVP_CIPHER* cipherFor(int algorithm) {
    if (algorithm == kBlockCipher) return EVP_aes_256_cbc();
    if (algorithm == kStreamCipher) return EVP_chacha20();
    return nullptr;
}

// One pass through the cipher; nullopt on any OpenSSL failure, bad padding among them.
std::optional<std::string> runCipher(std::string_view data, std::string_view password,
                                     int algorithm, bool encrypt) {
    const EVP_CIPHER* cipher = cipherFor(algorithm);
    const auto material = deriveKey(password, algorithm);
    const CipherContext context(EVP_CIPHER_CTX_new());
    if (!cipher || !material || !context || data.size() > kMaxDataBytes) return std::nullopt;
    if (EVP_CipherInit_ex(context.get(), cipher, nullptr, material->key.data(), material->iv.data(),
                          encrypt ? 1 : 0) != 1) {
        return std::nullopt;
    }
    std::string output(data.size() + EVP_MAX_BLOCK_LENGTH, '\0');
    auto* out = reinterpret_cast<unsigned char*>(output.data());
    int written = 0;
    int finalWritten = 0;
    if (EVP_CipherUpdate(context.get(), out, &written,
                         reinterpret_cast<const unsigned char*>(data.data()),
                         static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(context.get(), out + written, &finalWritten) != 1) {
        return std::nullopt;
    }
    output.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(finalWritten));
    return output;
}

}  // namespace

std::optional<std::string> decryptData(std::string_view data, std::string_view password,
                                       int algorithm) {
    return runCipher(data, password, algorithm, false);
}

std::optional<std::string> encryptData(std::string_view data, std::string_view password,
                                       int algorithm) {
    return runCipher(data, password, algorithm, true);
}

}  // namespace quorvane::platform
