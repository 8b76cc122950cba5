#pragma once

// The two ciphers of the protected list addresses. This hides the addresses from casual reading of
// the program file; it is no protection against someone who has the program.
//   algorithm 1: AES-256-CBC with PKCS#7 padding, key = SHA-256(password),
//                IV = first 16 bytes of SHA-256(password + "iv")
//   algorithm 2: ChaCha20, key = SHA-256(password), zero nonce; length-preserving

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::platform {

// nullopt for an unknown algorithm or (algorithm 1) bad padding.
std::optional<std::string> decryptData(std::string_view data, std::string_view password,
                                       int algorithm);
std::optional<std::string> encryptData(std::string_view data, std::string_view password,
                                       int algorithm);

}  // namespace quorvane::platform
