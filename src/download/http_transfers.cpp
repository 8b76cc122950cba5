#include "download/http_transfers.h"

#include <algorithm>

#include "engine/sha256.h"
#include "platform/file_system.h"

namespace quorvane {
namespace {

constexpr std::int64_t kKiB = 1024;
constexpr std::int64_t kMiB = 1024 * kKiB;
constexpr std::int64_t kLongestTimeMs = 3'600'000;

// value × unit clamped to [lowest, highest], or the fallback when value is not positive.
std::int64_t scaled(std::int32_t value, std::int64_t unit, std::int64_t lowest,
                    std::int64_t highest, std::int64_t fallback) {
    if (value <= 0) return fallback;
    return std::clamp<std::int64_t>(value * unit, lowest, highest);
}

std::chrono::milliseconds milliseconds(std::int32_t value, std::chrono::milliseconds fallback) {
    return std::chrono::milliseconds(scaled(value, 1, 1, kLongestTimeMs, fallback.count()));
}

}  // namespace

engine::JobOptions jobOptionsFrom(const TransferSettings& settings,
                                  const EngineConfiguration& configuration) {
    engine::JobOptions options;
    engine::Tuning& tuning = options.tuning;
    const engine::Tuning defaults;
    options.url = settings.sourceAddress;
    options.target = platform::pathFromUtf8(settings.targetPath);
    options.ftpUser = settings.ftpUser.empty() ? "anonymous" : settings.ftpUser;
    options.ftpPassword = settings.ftpPassword;
    options.connections = std::clamp(settings.connectionCount, 1, engine::kMaxConnections);
    options.expectedSha256 = engine::normalisedSha256(settings.field16).value_or("");
    tuning.minPieceSize = scaled(settings.field1, 64, 16 * kKiB, 64 * kMiB, defaults.minPieceSize);
    tuning.connectTimeout = milliseconds(settings.field8, defaults.connectTimeout);
    tuning.lowSpeedWindow = milliseconds(settings.field9, defaults.lowSpeedWindow);
    tuning.longestRetryPause = milliseconds(settings.field10, defaults.longestRetryPause);
    tuning.firstRetryPause = std::min(milliseconds(settings.field11, defaults.firstRetryPause),
                                      tuning.longestRetryPause);
    tuning.largestRequest =
        scaled(settings.field12, kKiB, tuning.minPieceSize, 1024 * kMiB, defaults.largestRequest);
    tuning.largestRequest = std::max(tuning.largestRequest, tuning.minPieceSize);
    tuning.lowSpeedLimit = scaled(settings.field13, 1, 1, 1024 * kMiB, defaults.lowSpeedLimit);
    tuning.writeBatch = static_cast<std::size_t>(
        scaled(configuration.writeBatchUnits, 16, 16 * kKiB, 8 * kMiB, defaults.writeBatch));
    tuning.triesPerPiece =
        static_cast<int>(scaled(configuration.triesPerPiece, 1, 1, 100, defaults.triesPerPiece));
    tuning.receiveBuffer =
        static_cast<long>(scaled(configuration.receiveBufferUnits, 16, 16 * kKiB,
                                 engine::kLargestReceiveBuffer, defaults.receiveBuffer));
    return options;
}

HttpTransfers::HttpTransfers(TransferEvents& events) : events_(events) {}

HttpTransfers::~HttpTransfers() {
    engine_.reset();
}

// The engine's job ids name the transfers.
StartedTransfer HttpTransfers::start(const TransferSettings& settings,
                                     const EngineConfiguration& configuration) {
    if (!engine_) engine_ = std::make_unique<engine::Engine>(static_cast<engine::Listener&>(*this));
    engine::JobHandle job = engine_->start(jobOptionsFrom(settings, configuration));
    return {job.id, {job.progress, &job.progress->received}};
}

void HttpTransfers::stop(TransferId id, bool keepForResume) {
    if (engine_) engine_->stop(id, keepForResume);
}

void HttpTransfers::onSizeKnown(engine::JobId job, std::int64_t totalSize, std::int64_t room) {
    events_.sizeKnown(*this, job, totalSize, room);
}

void HttpTransfers::onJobEnded(engine::JobId job, const engine::JobReport& report) {
    TransferEnd end;
    end.outcome = outcomeOf(report.outcome);
    end.failure = report.failure;
    end.reason = report.reason;
    events_.ended(*this, job, end);
}

}  // namespace quorvane
