#include "download/engine_downloader.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <map>
#include <string_view>

#include "engine/leftovers.h"
#include "engine/sha256.h"
#include "platform/file_system.h"
#ifdef QUORVANE_HAVE_SWARM
#include "download/swarm_transfers.h"
#include "swarm/swarm_leftovers.h"
#endif

namespace quorvane {
namespace {

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

// What the notifications need to know of their transfer, and what a change of engine needs.
struct Delivery {
    EventCallback callback;
    TransferSettings settings;
    EngineConfiguration configuration;
    bool malformedSha256 = false;
    bool sizeTold = false;
};

// Where a failed file came from, and a check that could not be made.
std::string failureReason(const TransferEnd& end, const Delivery& delivery) {
    std::string reason =
        failureText(end.failure, end.failure == engine::FailureKind::verificationFailed
                                     ? "来源：" + delivery.settings.sourceAddress
                                     : end.reason);
    if (delivery.malformedSha256) reason += "（列表中这个文件的SHA-256值格式不对，未作校验）";
    return reason;
}

void logToStandardError(const std::string& line) {
    std::fprintf(stderr, "quorvane-downloader: %s\n", line.c_str());
}

}  // namespace

// Lives as long as any posted notification; touched on the window's thread only, except
// `released`.
struct EngineDownloader::Deliveries {
    std::atomic<bool> released{false};
    std::map<std::pair<const Transfers*, TransferId>, Delivery> pending;
};

void removeDownloadLeftovers(const std::filesystem::path& folder) {
    engine::removeLeftovers(folder);
#ifdef QUORVANE_HAVE_SWARM
    swarm::removeOrphanRecords(folder);
#endif
}

bool peersSupported() {
#ifdef QUORVANE_HAVE_SWARM
    return true;
#else
    return false;
#endif
}

EngineDownloader::EngineDownloader(UiThread& uiThread, PeerOptions peers)
    : uiThread_(uiThread),
      windowThread_(std::this_thread::get_id()),
      peers_(std::move(peers)),
      deliveries_(std::make_shared<Deliveries>()),
      log_(logToStandardError) {}

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

Transfers& EngineDownloader::chooseFor(const TransferSettings& settings) {
    if (!http_) http_ = std::make_unique<HttpTransfers>(static_cast<TransferEvents&>(*this));
#ifdef QUORVANE_HAVE_SWARM
    if (!settings.field19.empty() && peers_.enabled) {
        if (!swarm_)
            swarm_ = std::make_unique<SwarmTransfers>(static_cast<TransferEvents&>(*this), peers_);
        return *swarm_;
    }
#else
    (void)settings;
#endif
    return *http_;
}

void EngineDownloader::StartDownload(const TransferSettings& settings) {
    assertOnWindowThread();
    if (released_) return;
    if (current_.engine) current_.engine->stop(current_.id, false);  // one file at a time
    Transfers& engine = chooseFor(settings);
    StartedTransfer started = engine.start(settings, configuration_);
    current_ = {&engine, started.id, started.received};
    deliveries_->pending[{&engine, started.id}] = {
        settings.eventCallback, settings, configuration_,
        !settings.field16.empty() && !engine::normalisedSha256(settings.field16), false};
}

void EngineDownloader::StopDownload(const TransferSettings&, std::int32_t) {
    assertOnWindowThread();
    if (current_.engine) current_.engine->stop(current_.id, false);
}

std::int64_t EngineDownloader::QueryProgress() {
    return current_.received ? current_.received->load(std::memory_order_relaxed) : 0;
}

void EngineDownloader::ReleaseDownloader() {
    assertOnWindowThread();
    if (released_) return;
    released_ = true;
    deliveries_->released.store(true);
    // Interrupts what runs (it is kept for a resume) and joins the engines' threads.
    swarm_.reset();
    http_.reset();
}

void EngineDownloader::sizeKnown(const Transfers& from, TransferId id, std::int64_t totalSize,
                                 std::int64_t room) {
    uiThread_.post([this, deliveries = deliveries_, from = &from, id, totalSize, room] {
        if (deliveries->released.load()) return;
        deliverSize(from, id, totalSize, room);
    });
}

void EngineDownloader::ended(const Transfers& from, TransferId id, const TransferEnd& end) {
    uiThread_.post([this, deliveries = deliveries_, from = &from, id, end] {
        if (deliveries->released.load()) return;
        if (fellBackToHttp(from, id, end)) return;
        deliverEnd(from, id, end);
    });
}

// Code 3 once per file, also when a second engine takes the file over.
void EngineDownloader::deliverSize(const Transfers* from, TransferId id, std::int64_t totalSize,
                                   std::int64_t room) {
    auto found = deliveries_->pending.find({from, id});
    if (found == deliveries_->pending.end() || found->second.sizeTold) return;
    found->second.sizeTold = true;
    if (!found->second.callback) return;
    DownloadEvent event;
    event.code = kSizeKnown;
    event.totalSize = totalSize;
    event.room = room;
    EventCallback callback = found->second.callback;  // the callback may start the next file
    callback(event);
}

void EngineDownloader::deliverEnd(const Transfers* from, TransferId id, const TransferEnd& end) {
    auto found = deliveries_->pending.find({from, id});
    if (found == deliveries_->pending.end()) return;
    Delivery delivery = std::move(found->second);
    deliveries_->pending.erase(found);
    if (!delivery.callback) return;
    DownloadEvent event;
    event.code = kTransferEnded;
    event.outcome = end.outcome;
    if (end.outcome == DownloadOutcome::failed) event.reason = failureReason(end, delivery);
    EventCallback callback = std::move(delivery.callback);
    callback(event);
}

// The servers always guarantee the download: whatever kept the swarm from finishing, short of a
// full disk, the HTTP engine fetches the same file, under the same notification.
bool EngineDownloader::fellBackToHttp(const Transfers* from, TransferId id,
                                      const TransferEnd& end) {
    if (from == http_.get() || end.outcome != DownloadOutcome::failed ||
        end.failure == engine::FailureKind::diskFull) {
        return false;
    }
    // A file the program has moved on from is not taken up again.
    if (current_.engine != from || current_.id != id) return false;
    auto found = deliveries_->pending.find({from, id});
    if (found == deliveries_->pending.end()) return false;
    Delivery delivery = std::move(found->second);
    deliveries_->pending.erase(found);
    log_("peers could not be used for " + delivery.settings.sourceAddress + " (" + end.reason +
         "); downloading it from the server alone");
#ifdef QUORVANE_HAVE_SWARM
    // What the swarm recorded of the partial file no longer holds once HTTP writes into it.
    platform::deleteFile(
        swarm::resumeRecordFor(platform::pathFromUtf8(delivery.settings.targetPath)));
#endif
    StartedTransfer started = http_->start(delivery.settings, delivery.configuration);
    current_ = {http_.get(), started.id, started.received};
    deliveries_->pending[{http_.get(), started.id}] = std::move(delivery);
    return true;
}

}  // namespace quorvane
