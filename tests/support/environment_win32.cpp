#include "support/environment.h"

#include <stdlib.h>

namespace quorvane::test {

std::optional<std::string> environmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

// An empty value removes the variable in the C runtime of Windows.
void setEnvironment(const std::string& name, const std::optional<std::string>& value) {
    ::_putenv_s(name.c_str(), value ? value->c_str() : "");
}

}  // namespace quorvane::test
