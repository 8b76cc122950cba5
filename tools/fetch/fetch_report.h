#pragma once

// What quorvane-fetch prints: the progress line and the closing JSON line.

#include <cstdint>
#include <string>

#include "engine/job_options.h"

namespace quorvane::fetch {

std::string progressLine(std::int64_t received, std::int64_t total, double bytesPerSecond);
std::string jsonReport(const engine::JobReport& report, double seconds);
// The JSON line with the bytes from other players, from web seeds and given to other players.
std::string withPeerCounts(std::string json, std::int64_t fromPeers, std::int64_t fromWebSeeds,
                           std::int64_t uploaded);
const char* outcomeName(engine::Outcome outcome);
// The exit status of a finished download, one for each kind of failure (see kHelp). A stop is
// an interruption: 128 + the signal's number.
int exitStatus(const engine::JobReport& report, int interruptingSignal);

}  // namespace quorvane::fetch
