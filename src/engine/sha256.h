#pragma once

// SHA-256 over OpenSSL's libcrypto, fed piece by piece.

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

namespace quorvane::engine {

class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(std::span<const char> bytes);
    // The digest as 64 lower-case hex digits; the hash starts over afterwards.
    std::string finishHex();

    static std::string hexOf(std::string_view bytes);

  private:
    struct Free {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> context_;
};

// 64 hex digits in either case, as lower case; nothing for anything else.
std::optional<std::string> normalisedSha256(std::string_view text);

}  // namespace quorvane::engine
