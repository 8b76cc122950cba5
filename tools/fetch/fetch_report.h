#pragma once

// What quorvane-fetch prints: the progress line and the closing JSON line.

#include <cstdint>
#include <string>

#include "engine/job_options.h"

namespace quorvane::fetch {

std::string progressLine(std::int64_t received, std::int64_t total, double bytesPerSecond);
std::string jsonReport(const engine::JobReport& report, double seconds);
const char* outcomeName(engine::Outcome outcome);

}  // namespace quorvane::fetch
