#include "engine/engine.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cassert>

#include "engine/curl_handles.h"
#include "engine/job.h"

namespace quorvane::engine {
namespace {

constexpr auto kLongestPoll = std::chrono::milliseconds(1000);

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// Holds the start guard around every call to the caller's listener, so that no news of a job
// arrives while Engine::start is still handing the job's handle over.
class GuardedListener : public Listener {
  public:
    GuardedListener(Listener& inner, std::recursive_mutex& guard) : inner_(inner), guard_(guard) {}
    void onSizeKnown(JobId job, std::int64_t totalSize, std::int64_t room) override {
        std::lock_guard lock(guard_);
        inner_.onSizeKnown(job, totalSize, room);
    }
    void onJobEnded(JobId job, const JobReport& report) override {
        std::lock_guard lock(guard_);
        inner_.onJobEnded(job, report);
    }

  private:
    Listener& inner_;
    std::recursive_mutex& guard_;
};

struct Engine::Command {
    enum class Kind { start, stop, interrupt } kind = Kind::start;
    JobId id = 0;
    JobOptions options;
    std::shared_ptr<JobProgress> progress;
};

// Everything the engine's thread owns. Only push(), quit() and nextId() are called from other
// threads.
class Engine::Loop {
  public:
    explicit Loop(Listener& listener)
        : listener_(listener, startGuard_), multi_(curl_multi_init()) {
        curl_multi_setopt(multi_.get(), CURLMOPT_PIPELINING, CURLPIPE_NOTHING);
        curl_multi_setopt(multi_.get(), CURLMOPT_MAX_HOST_CONNECTIONS,
                          static_cast<long>(kMaxConnections));
        curl_multi_setopt(multi_.get(), CURLMOPT_MAXCONNECTS,
                          static_cast<long>(2 * kMaxConnections));
    }

    ~Loop() {
        jobs_.clear();  // removes their handles before the multi handle goes
    }

    JobId nextId() { return lastId_.fetch_add(1) + 1; }
    // Recursive: a listener may start the next job from inside its call.
    std::recursive_mutex& startGuard() { return startGuard_; }

    void push(Command command) {
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(std::move(command));
        }
        curl_multi_wakeup(multi_.get());
    }

    void quit() {
        quitting_.store(true);
        curl_multi_wakeup(multi_.get());
    }

    void run() {
        owner_ = std::this_thread::get_id();
        while (true) {
            auto now = Clock::now();
            // Read before the commands, so that a start pushed before quit() is among them.
            const bool quitting = quitting_.load();
            applyCommands(now);
            if (quitting) {
                // Not the user's stop: what the jobs have is kept for a resume.
                for (auto& job : jobs_) job->interrupt();
            }
            int running = 0;
            curl_multi_perform(multi_.get(), &running);
            readFinishedRequests(Clock::now());
            for (auto& job : jobs_) job->schedule(Clock::now());
            reapEndedJobs();
            // A listener may have started a job from inside its call: that one ends too.
            if (quitting && jobs_.empty() && !commandsWaiting()) return;
            auto wait = static_cast<int>(waitTime(Clock::now()).count());
            curl_multi_poll(multi_.get(), nullptr, 0, wait, nullptr);
        }
    }

  private:
    void assertOnLoopThread() const { assert(std::this_thread::get_id() == owner_); }

    void applyCommands(Clock::time_point now) {
        assertOnLoopThread();
        std::vector<Command> commands;
        {
            std::lock_guard lock(mutex_);
            commands.swap(commands_);
        }
        for (auto& command : commands) {
            if (command.kind == Command::Kind::start) {
                jobs_.push_back(std::make_unique<Job>(command.id, std::move(command.options),
                                                      std::move(command.progress), multi_.get(),
                                                      listener_));
                jobs_.back()->begin(now);
            } else if (auto* job = find(command.id)) {
                if (command.kind == Command::Kind::interrupt) {
                    job->interrupt();
                } else {
                    job->stop();
                }
            }
        }
    }

    bool commandsWaiting() {
        std::lock_guard lock(mutex_);
        return !commands_.empty();
    }

    void readFinishedRequests(Clock::time_point now) {
        assertOnLoopThread();
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            Transfer* transfer = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
            CURLcode result = message->data.result;
            if (transfer != nullptr) transfer->job().onRequestDone(*transfer, result, now);
        }
    }

    void reapEndedJobs() {
        assertOnLoopThread();
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            if (!(*it)->ended()) {
                ++it;
                continue;
            }
            JobReport report = (*it)->release();
            JobId id = (*it)->id();
            it = jobs_.erase(it);
            listener_.onJobEnded(id, report);
        }
    }

    std::chrono::milliseconds waitTime(Clock::time_point now) const {
        auto wait = kLongestPoll;
        for (const auto& job : jobs_) {
            if (auto wake = job->nextWake()) {
                auto until = std::chrono::ceil<std::chrono::milliseconds>(*wake - now);
                wait = std::clamp(until, std::chrono::milliseconds(0), wait);
            }
        }
        return wait;
    }

    Job* find(JobId id) {
        auto it = std::find_if(jobs_.begin(), jobs_.end(),
                               [id](const auto& job) { return job->id() == id; });
        return it == jobs_.end() ? nullptr : it->get();
    }

    std::recursive_mutex startGuard_;
    GuardedListener listener_;
    MultiHandle multi_;
    std::mutex mutex_;
    std::vector<Command> commands_;
    std::atomic<bool> quitting_{false};
    std::atomic<JobId> lastId_{0};
    std::vector<std::unique_ptr<Job>> jobs_;
    std::thread::id owner_;
};

Engine::Engine(Listener& listener) {
    initialiseCurlOnce();
    loop_ = std::make_unique<Loop>(listener);
    thread_ = std::thread([this] { loop_->run(); });
}

Engine::~Engine() {
    loop_->quit();
    thread_.join();
}

JobHandle Engine::start(JobOptions options) {
    // Released only after the handle is in the caller's hands.
    std::unique_lock guard(loop_->startGuard());
    Command command;
    command.kind = Command::Kind::start;
    command.id = loop_->nextId();
    command.options = std::move(options);
    command.progress = std::make_shared<JobProgress>();
    JobHandle handle{command.id, command.progress};
    loop_->push(std::move(command));
    return handle;
}

void Engine::stop(JobId job, bool keepForResume) {
    Command command;
    command.kind = keepForResume ? Command::Kind::interrupt : Command::Kind::stop;
    command.id = job;
    loop_->push(std::move(command));
}

}  // namespace quorvane::engine
