#include "download/engine_downloader.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <string_view>
#include <unordered_map>

#include "engine/leftovers.h"
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

DownloadOutcome outcomeOf(engine::Outcome outcome) {
    switch (outcome) {
        case engine::Outcome::completed:
            return DownloadOutcome::completed;
        case engine::Outcome::stopped:
            return DownloadOutcome::stopped;
        case engine::Outcome::failed:
            break;
    }
    return DownloadOutcome::failed;
}

// Why a transfer failed, said the way the program speaks to its users.
struct FailureWording {
    engine::FailureKind kind;
    std::string_view text;
};
constexpr FailureWording kFailureWordings[] = {
    {engine::FailureKind::badAddress, "下载地址无效"},
    {engine::FailureKind::notFound, "服务器上找不到这个文件"},
    {engine::FailureKind::accessDenied, "服务器拒绝了下载请求"},
    {engine::FailureKind::certificate, "服务器的安全证书无法验证"},
    {engine::FailureKind::tooManyRedirects, "服务器的转向次数过多"},
    {engine::FailureKind::serverError, "服务器出错"},
    {engine::FailureKind::serverInconsistent, "服务器的回应与请求不符"},
    {engine::FailureKind::changedOnServer, "服务器上的文件在下载过程中发生了变化"},
    {engine::FailureKind::network, "网络连接出错，多次重试仍未成功"},
    {engine::FailureKind::diskFull, "磁盘空间已满"},
    {engine::FailureKind::fileError, "无法在下载文件夹中写入文件"},
    {engine::FailureKind::verificationFailed, "下载的文件未通过SHA-256校验，已删除"},
};

// The engine's own words stay in brackets, for whoever has to look into it.
std::string failureText(engine::FailureKind kind, const std::string& detail) {
    const auto* wording = std::find_if(std::begin(kFailureWordings), std::end(kFailureWordings),
                                       [kind](const FailureWording& w) { return w.kind == kind; });
    if (wording == std::end(kFailureWordings)) return detail;
    if (detail.empty()) return std::string(wording->text);
    return std::string(wording->text) + "（" + detail + "）";
}

// What the end notification needs to know of its transfer.
struct Delivery {
    EventCallback callback;
    std::string source;
    bool malformedSha256 = false;
};

// Where a failed file came from, and a check that could not be made.
std::string failureReason(const engine::JobReport& report, const Delivery& delivery) {
    std::string reason =
        failureText(report.failure, report.failure == engine::FailureKind::verificationFailed
                                        ? "来源：" + delivery.source
                                        : report.reason);
    if (delivery.malformedSha256) reason += "（列表中这个文件的SHA-256值格式不对，未作校验）";
    return reason;
}

}  // namespace

// Lives as long as any posted notification; touched on the window's thread only, except
// `released`.
struct EngineDownloader::Deliveries {
    std::atomic<bool> released{false};
    std::unordered_map<engine::JobId, Delivery> pending;
};

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

void removeDownloadLeftovers(const std::filesystem::path& folder) {
    engine::removeLeftovers(folder);
}

EngineDownloader::EngineDownloader(UiThread& uiThread)
    : uiThread_(uiThread),
      windowThread_(std::this_thread::get_id()),
      deliveries_(std::make_shared<Deliveries>()) {}

EngineDownloader::~EngineDownloader() {
    ReleaseDownloader();
}

void EngineDownloader::assertOnWindowThread() const {
    assert(std::this_thread::get_id() == windowThread_);
}

void EngineDownloader::ConfigureEngineA(std::int32_t a, std::int32_t b, std::int32_t c) {
    assertOnWindowThread();
    configuration_.writeBatchUnits = a;
    configuration_.unused = b;
    configuration_.triesPerPiece = c;
}

void EngineDownloader::ConfigureEngineB(std::int32_t a) {
    assertOnWindowThread();
    configuration_.receiveBufferUnits = a;
}

void EngineDownloader::StartDownload(const TransferSettings& settings) {
    assertOnWindowThread();
    if (released_) return;
    if (!engine_) engine_ = std::make_unique<engine::Engine>(static_cast<engine::Listener&>(*this));
    if (current_.progress) engine_->stop(current_.id);  // one file at a time
    current_ = engine_->start(jobOptionsFrom(settings, configuration_));
    deliveries_->pending[current_.id] = {
        settings.eventCallback, settings.sourceAddress,
        !settings.field16.empty() && !engine::normalisedSha256(settings.field16)};
}

void EngineDownloader::StopDownload(const TransferSettings&, std::int32_t) {
    assertOnWindowThread();
    if (engine_ && current_.progress) engine_->stop(current_.id);
}

std::int64_t EngineDownloader::QueryProgress() {
    return current_.progress ? current_.progress->received.load(std::memory_order_relaxed) : 0;
}

void EngineDownloader::ReleaseDownloader() {
    assertOnWindowThread();
    if (released_) return;
    released_ = true;
    deliveries_->released.store(true);
    engine_.reset();  // interrupts the job (it is kept for a resume) and joins the engine's thread
}

void EngineDownloader::onSizeKnown(engine::JobId job, std::int64_t totalSize, std::int64_t room) {
    uiThread_.post([deliveries = deliveries_, job, totalSize, room] {
        if (deliveries->released.load()) return;
        auto found = deliveries->pending.find(job);
        if (found == deliveries->pending.end() || !found->second.callback) return;
        DownloadEvent event;
        event.code = kSizeKnown;
        event.totalSize = totalSize;
        event.room = room;
        EventCallback callback = found->second.callback;  // the callback may start the next file
        callback(event);
    });
}

void EngineDownloader::onJobEnded(engine::JobId job, const engine::JobReport& report) {
    uiThread_.post([deliveries = deliveries_, job, report] {
        if (deliveries->released.load()) return;
        auto found = deliveries->pending.find(job);
        if (found == deliveries->pending.end()) return;
        Delivery delivery = std::move(found->second);
        deliveries->pending.erase(found);
        if (!delivery.callback) return;
        DownloadEvent event;
        event.code = kTransferEnded;
        event.outcome = outcomeOf(report.outcome);
        if (report.outcome == engine::Outcome::failed)
            event.reason = failureReason(report, delivery);
        EventCallback callback = std::move(delivery.callback);
        callback(event);
    });
}

}  // namespace quorvane
