#pragma once

// What the list's addresses answer, judged as the program's downloader would: a first byte with a
// readable size and range support, and with --hash the whole file, hashed up to the size the
// server announced and no further.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/response_head.h"
#include "engine/sha256.h"
#include "requests.h"

namespace quorvane::checklist {

// How long the slowest whole file may take: the deadline plus its size at this rate.
inline constexpr std::int64_t kSlowestHashBytesPerSecond = 256 * 1024;

struct AddressAnswer {
    std::int64_t size = -1;
    bool ranges = false;
    engine::FileIdentity identity;
    std::string problem;  // a report line without "problem: "; empty when the address passed
};

// Asks for the first byte only; whatever the server sends beyond it is not read.
class FirstByteCheck {
  public:
    FirstByteCheck(std::string address, std::chrono::milliseconds deadline);
    Request request() const;
    AddressAnswer judge(const Reply& reply) const;

  private:
    std::string address_;
    std::chrono::milliseconds deadline_;
    std::shared_ptr<std::int64_t> bodyBytes_ = std::make_shared<std::int64_t>(0);
};

struct HashState;

// Downloads the whole file into a hash, ending as soon as the server sends what the first answer
// did not announce.
class WholeFileHash {
  public:
    WholeFileHash(std::string address, const AddressAnswer& first,
                  std::chrono::milliseconds deadline);
    Request request() const;
    // The hex digest, or nothing with the problem set.
    std::optional<std::string> judge(const Reply& reply, std::string& problem) const;

  private:
    std::string address_;
    engine::FileIdentity identity_;
    std::chrono::milliseconds deadline_;
    std::shared_ptr<HashState> state_;
};

}  // namespace quorvane::checklist
