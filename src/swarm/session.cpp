#include "swarm/session.h"

#include <libtorrent/alert_types.hpp>
#include <libtorrent/session.hpp>
#include <libtorrent/session_params.hpp>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "swarm/session_settings.h"
#include "swarm/swarm_job.h"

namespace quorvane::swarm {
namespace {

constexpr auto kTick = std::chrono::milliseconds(250);
// At the end, jobs that are saving their state get this long before the session goes anyway.
constexpr auto kLongestShutdown = std::chrono::seconds(10);
// No player connected for this long (since the last one, or since a job began): the web seeds'
// queue grows long.
constexpr auto kAlone = std::chrono::seconds(2);

struct StartCommand {
    JobId id;
    JobOptions options;
    std::shared_ptr<JobProgress> progress;
};
struct StopCommand {
    JobId id;
    bool keep;
};
using Command = std::variant<StartCommand, StopCommand>;

}  // namespace

// Everything on the session's thread: the libtorrent session, the jobs and the alerts.
class Session::Loop {
  public:
    Loop(Listener& listener, const PeerSettings& settings)
        : listener_(listener),
          peers_(settings.peers),
          listenInterfaces_(settings.listenInterfaces),
          session_(paramsFor(settings)) {
        session_.set_peer_class_filter(peerClassFilterFor(settings));
        session_.set_alert_notify([this] { wake(); });
    }

    void post(Command command) {
        std::lock_guard lock(mutex_);
        commands_.push_back(std::move(command));
        changed_.notify_one();
    }
    void quit() {
        std::lock_guard lock(mutex_);
        quitting_ = true;
        changed_.notify_one();
    }
    int listenPort() const { return port_.load(); }

    void run() {
        auto lastTick = Clock::now();
        std::optional<Clock::time_point> quitSince;
        for (;;) {
            std::deque<Command> commands;
            bool quitting = false;
            {
                std::unique_lock lock(mutex_);
                changed_.wait_for(lock, kTick,
                                  [this] { return woken_ || !commands_.empty() || quitting_; });
                woken_ = false;
                commands.swap(commands_);
                quitting = quitting_;
            }
            for (auto& command : commands) std::visit([this](auto& c) { handle(c); }, command);
            handleAlerts();
            const auto now = Clock::now();
            if (now - lastTick >= kTick) {
                lastTick = now;
                tick(now);
            }
            listenWhileJobsRun();
            if (quitting && !quitSince) {
                quitSince = now;
                for (auto& [id, job] : jobs_) job->stop(/*keepForResume=*/true);
                tellEnds();
            }
            if (quitSince && (jobs_.empty() || now - *quitSince > kLongestShutdown)) break;
        }
        // Whatever did not end in time ends now, as stopped.
        for (auto& [id, job] : jobs_) {
            if (!told_.count(id) && !job->ended()) {
                JobReport report;
                report.outcome = engine::Outcome::stopped;
                listener_.onJobEnded(id, report);
            }
        }
        jobs_.clear();
    }

  private:
    static lt::session_params paramsFor(const PeerSettings& settings) {
        return lt::session_params(settingsPackFor(settings));
    }

    // Peers reach the program only while it has something to give or to take: between jobs no
    // socket listens, and a firewall has nothing to ask the player about.
    void listenWhileJobsRun() {
        const bool wanted = peers_ && !jobs_.empty();
        if (wanted == listening_) return;
        listening_ = wanted;
        lt::settings_pack pack;
        pack.set_str(lt::settings_pack::listen_interfaces, wanted ? listenInterfaces_ : "");
        session_.apply_settings(std::move(pack));
        if (!wanted) port_.store(0);
    }

    void wake() {
        std::lock_guard lock(mutex_);
        woken_ = true;
        changed_.notify_one();
    }

    void handle(StartCommand& command) {
        auto job = std::make_unique<SwarmJob>(session_, command.id, std::move(command.options),
                                              peers_, command.progress);
        SwarmJob* raw = job.get();
        jobs_[command.id] = std::move(job);
        // Before the torrent is added, so that its first announce tells the port it keeps.
        listenWhileJobsRun();
        auto params = raw->prepare();
        if (!params) {
            tellEnds();
            return;
        }
        listener_.onSizeKnown(raw->id(), raw->totalSize(), raw->room());
        waiting_.push_back({raw->id(), std::move(*params)});
        addWaiting();
    }

    void handle(const StopCommand& command) {
        auto found = jobs_.find(command.id);
        if (found == jobs_.end()) return;
        found->second->stop(command.keep);
        waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                      [&](const auto& w) { return w.first == command.id; }),
                       waiting_.end());
        tellEnds();
    }

    // One torrent per info hash in the session: a job waits while the file of an earlier job is
    // still shared (that sharing ends for it) or still leaving.
    void addWaiting() {
        for (auto it = waiting_.begin(); it != waiting_.end();) {
            auto job = jobs_.find(it->first);
            if (job == jobs_.end() || job->second->phase() != SwarmJob::Phase::starting) {
                it = waiting_.erase(it);
                continue;
            }
            bool blocked = false;
            for (auto& [id, other] : jobs_) {
                if (id == it->first || other->infoHashes() != job->second->infoHashes()) continue;
                if (other->phase() == SwarmJob::Phase::sharing) other->stopSharing();
                if (other->phase() != SwarmJob::Phase::gone) blocked = true;
            }
            if (blocked) {
                ++it;
                continue;
            }
            lt::error_code error;
            auto handle = session_.add_torrent(std::move(it->second), error);
            if (error) {
                job->second->failWith(engine::FailureKind::fileError, error.message());
            } else {
                job->second->added(handle, Clock::now());
                lastPlayerSeen_ = Clock::now();  // players starting together find each other first
            }
            it = waiting_.erase(it);
        }
        tellEnds();
    }

    SwarmJob* jobOf(const lt::client_data_t& data) {
        auto* job = data.get<SwarmJob>();
        for (auto& [id, owned] : jobs_) {
            if (owned.get() == job) return job;
        }
        return nullptr;
    }

    void handleAlerts() {
        std::vector<lt::alert*> alerts;
        session_.pop_alerts(&alerts);
        for (lt::alert* alert : alerts) {
            if (auto* listen = lt::alert_cast<lt::listen_succeeded_alert>(alert)) {
                if (listen->socket_type == lt::socket_type_t::tcp) port_.store(listen->port);
            } else if (auto* finished = lt::alert_cast<lt::torrent_finished_alert>(alert)) {
                if (auto* job = jobOf(finished->handle.userdata())) {
                    if (job->phase() == SwarmJob::Phase::running) job->finishedDownloading();
                }
            } else if (auto* block = lt::alert_cast<lt::block_finished_alert>(alert)) {
                if (auto* job = jobOf(block->handle.userdata())) {
                    job->blockFinished(block->endpoint, block->block_index, block->piece_index);
                }
            } else if (auto* failed = lt::alert_cast<lt::hash_failed_alert>(alert)) {
                if (auto* job = jobOf(failed->handle.userdata()))
                    job->pieceFailed(failed->piece_index);
            } else if (auto* saved = lt::alert_cast<lt::save_resume_data_alert>(alert)) {
                if (auto* job = jobOf(saved->handle.userdata()))
                    job->resumeDataReady(saved->params);
            } else if (auto* unsaved = lt::alert_cast<lt::save_resume_data_failed_alert>(alert)) {
                if (auto* job = jobOf(unsaved->handle.userdata())) job->resumeDataFailed();
            } else if (auto* removed = lt::alert_cast<lt::torrent_removed_alert>(alert)) {
                if (auto* job = jobOf(removed->userdata)) removedFromSession(*job);
            } else if (auto* deleted = lt::alert_cast<lt::torrent_deleted_alert>(alert)) {
                filesDeleted(deleted->info_hashes, true);
            } else if (auto* undeleted = lt::alert_cast<lt::torrent_delete_failed_alert>(alert)) {
                filesDeleted(undeleted->info_hashes, false);
            } else if (auto* renamed = lt::alert_cast<lt::file_renamed_alert>(alert)) {
                if (auto* job = jobOf(renamed->handle.userdata())) job->renamed();
            } else if (auto* unrenamed = lt::alert_cast<lt::file_rename_failed_alert>(alert)) {
                if (auto* job = jobOf(unrenamed->handle.userdata())) {
                    job->renameFailed(unrenamed->error.message());
                }
            } else if (auto* fileError = lt::alert_cast<lt::file_error_alert>(alert)) {
                if (auto* job = jobOf(fileError->handle.userdata())) fail(*job, fileError->error);
            }
        }
        tellEnds();
    }

    void fail(SwarmJob& job, const lt::error_code& error) {
        if (job.phase() == SwarmJob::Phase::sharing) {
            job.stopSharing();  // the file went away or cannot be read: nothing to share
            return;
        }
        job.failWith(error == boost::system::errc::no_space_on_device
                         ? engine::FailureKind::diskFull
                         : engine::FailureKind::fileError,
                     error.message());
    }

    void removedFromSession(SwarmJob& job) {
        job.removedFromSession();
        tellEnds();
        addWaiting();
    }

    // The torrent is out of the session, so its handle no longer tells whose it was: the hash
    // does, one torrent a hash.
    void filesDeleted(const lt::info_hash_t& hashes, bool deleted) {
        for (auto& [id, job] : jobs_) {
            if (job->phase() != SwarmJob::Phase::deleting || job->infoHashes() != hashes) continue;
            job->filesDeleted(deleted);
            tellEnds();
            addWaiting();
            return;
        }
    }

    void tick(Clock::time_point now) {
        for (auto& [id, job] : jobs_) {
            const auto phase = job->phase();
            if (phase != SwarmJob::Phase::running && phase != SwarmJob::Phase::sharing) continue;
            job->tick(job->handle().status(), now);
            if (job->phase() == SwarmJob::Phase::running && job->peersConnected() > 0)
                lastPlayerSeen_ = now;
        }
        fitWebSeedQueue(now);
        tellEnds();
    }

    // The web seeds' queue follows whether players are around; their connections start again
    // to take it (what they had asked for and not yet received is asked again).
    void fitWebSeedQueue(Clock::time_point now) {
        if (!peers_) return;
        const bool playersAround = now - lastPlayerSeen_ < kAlone;
        if (playersAround == shortQueue_) return;
        shortQueue_ = playersAround;
        lt::settings_pack pack;
        pack.set_int(lt::settings_pack::max_out_request_queue, webSeedQueueFor(playersAround));
        session_.apply_settings(pack);
        for (auto& [id, job] : jobs_) {
            if (job->phase() == SwarmJob::Phase::running) job->reconnectWebSeeds();
        }
    }

    // Tells each end once, and lets go of jobs that have nothing left in the session.
    void tellEnds() {
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            SwarmJob& job = *it->second;
            if (job.ended() && told_.insert(job.id()).second)
                listener_.onJobEnded(job.id(), job.report());
            if (job.ended() && job.phase() == SwarmJob::Phase::gone) {
                it = jobs_.erase(it);
            } else {
                ++it;
            }
        }
    }

    Listener& listener_;
    const bool peers_;
    const std::string listenInterfaces_;
    bool listening_ = false;
    lt::session session_;
    std::map<JobId, std::unique_ptr<SwarmJob>> jobs_;
    std::vector<std::pair<JobId, lt::add_torrent_params>> waiting_;
    std::set<JobId> told_;
    std::atomic<int> port_{0};
    Clock::time_point lastPlayerSeen_ = Clock::now();
    bool shortQueue_ = true;  // as the session began

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Command> commands_;
    bool woken_ = false;
    bool quitting_ = false;
};

Session::Session(Listener& listener, const PeerSettings& settings)
    : loop_(std::make_unique<Loop>(listener, settings)), thread_([this] { loop_->run(); }) {}

Session::~Session() {
    loop_->quit();
    thread_.join();
}

JobHandle Session::start(JobOptions options, std::shared_ptr<JobProgress> progress) {
    static std::atomic<JobId> next{1};
    StartCommand command{next.fetch_add(1), std::move(options), std::move(progress)};
    if (!command.progress) command.progress = std::make_shared<JobProgress>();
    JobHandle handle{command.id, command.progress};
    loop_->post(std::move(command));
    return handle;
}

void Session::stop(JobId job, bool keepForResume) {
    loop_->post(StopCommand{job, keepForResume});
}

int Session::listenPort() const {
    return loop_->listenPort();
}

}  // namespace quorvane::swarm
