#include "fetch_report.h"

#include <cstdio>

namespace quorvane::fetch {
namespace {

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

double mebibytes(std::int64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

}  // namespace

const char* outcomeName(engine::Outcome outcome) {
    switch (outcome) {
        case engine::Outcome::completed:
            return "completed";
        case engine::Outcome::stopped:
            return "stopped";
        case engine::Outcome::failed:
            break;
    }
    return "failed";
}

std::string progressLine(std::int64_t received, std::int64_t total, double bytesPerSecond) {
    char line[160];
    if (total > 0) {
        std::snprintf(line, sizeof line, "%5.1f%%  %.1f of %.1f MiB  %.1f MiB/s",
                      100.0 * static_cast<double>(received) / static_cast<double>(total),
                      mebibytes(received), mebibytes(total), bytesPerSecond / (1024.0 * 1024.0));
    } else {
        std::snprintf(line, sizeof line, "%.1f MiB  %.1f MiB/s", mebibytes(received),
                      bytesPerSecond / (1024.0 * 1024.0));
    }
    return line;
}

std::string jsonReport(const engine::JobReport& report, double seconds) {
    char numbers[200];
    std::snprintf(numbers, sizeof numbers,
                  "\"bytes\":%lld,\"seconds\":%.3f,\"connections\":%d,\"retries\":%d,"
                  "\"resumed\":%lld",
                  static_cast<long long>(report.bytes), seconds, report.connectionsUsed,
                  report.retries, static_cast<long long>(report.resumedBytes));
    return std::string("{\"outcome\":") + jsonString(outcomeName(report.outcome)) + "," + numbers +
           ",\"reason\":" + jsonString(report.reason) + "}";
}

std::string withPeerCounts(std::string json, std::int64_t fromPeers, std::int64_t fromWebSeeds,
                           std::int64_t uploaded) {
    char counts[160];
    std::snprintf(counts, sizeof counts,
                  ",\"fromPeers\":%lld,\"fromWebSeeds\":%lld,\"uploaded\":%lld}",
                  static_cast<long long>(fromPeers), static_cast<long long>(fromWebSeeds),
                  static_cast<long long>(uploaded));
    json.pop_back();  // the closing brace
    return json + counts;
}

int exitStatus(const engine::JobReport& report, int interruptingSignal) {
    using engine::FailureKind;
    if (report.outcome == engine::Outcome::completed) return 0;
    if (report.outcome == engine::Outcome::stopped) return 128 + interruptingSignal;
    switch (report.failure) {
        case FailureKind::badAddress:
            return 3;
        case FailureKind::fileError:
            return 4;
        case FailureKind::diskFull:
            return 5;
        case FailureKind::network:
            return 6;
        case FailureKind::certificate:
            return 7;
        case FailureKind::accessDenied:
            return 8;
        case FailureKind::notFound:
            return 9;
        case FailureKind::serverError:
        case FailureKind::tooManyRedirects:
            return 10;
        case FailureKind::serverInconsistent:
        case FailureKind::changedOnServer:
            return 11;
        case FailureKind::verificationFailed:
            return 12;
        case FailureKind::none:
            break;
    }
    return 1;
}

}  // namespace quorvane::fetch
