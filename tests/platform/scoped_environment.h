#pragma once

// Sets or clears an environment variable for one test and puts the old value back afterwards.

#include <optional>
#include <string>

#include "support/environment.h"

namespace quorvane::test {

class ScopedEnvironment {
  public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value)
        : name_(std::move(name)), previous_(environmentValue(name_)) {
        setEnvironment(name_, value);
    }
    ~ScopedEnvironment() { setEnvironment(name_, previous_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace quorvane::test
