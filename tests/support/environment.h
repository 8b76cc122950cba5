#pragma once

// Sets or clears an environment variable as the C runtime (and so libcurl) sees it.

#include <optional>
#include <string>

namespace quorvane::test {

std::optional<std::string> environmentValue(const std::string& name);
void setEnvironment(const std::string& name, const std::optional<std::string>& value);

}  // namespace quorvane::test
