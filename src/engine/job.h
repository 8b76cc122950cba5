#pragma once

// One download: probes the server, shares the file out between connections, retries what failed
// and ends exactly once with a report. Lives on the engine's thread and is driven by it.
//
// Its parts: job.cpp (its phases, its end and what it leaves behind), job_file.cpp (the bytes
// written, the resume record, the check), job_responses.cpp (what the server answers) and
// job_schedule.cpp (which connection asks for what, and when).

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/failure.h"
#include "engine/file_worker.h"
#include "engine/job_options.h"
#include "engine/listener.h"
#include "engine/part_file.h"
#include "engine/piece_plan.h"
#include "engine/range_set.h"
#include "engine/response_head.h"
#include "engine/resume_record.h"
#include "engine/transfer.h"

namespace quorvane::engine {

class Job {
  public:
    Job(JobId id, JobOptions options, std::shared_ptr<JobProgress> progress, CURLM* multi,
        Listener& listener);
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    JobId id() const { return id_; }
    void begin(Clock::time_point now);
    // Ends the job as stopped; what it has is removed.
    void stop();
    // Ends the job as stopped but keeps what it has, with its record, for a later job to resume.
    void interrupt();
    // A request of one of this job's transfers has ended.
    void onRequestDone(Transfer& transfer, CURLcode code, Clock::time_point now);
    // Starts requests that are due and notices completion; called after every round of I/O.
    void schedule(Clock::time_point now);
    std::optional<Clock::time_point> nextWake() const;

    bool ended() const { return phase_ == Phase::ended; }
    // Removes every request; keeps the temporary file and its record when the job was interrupted
    // or failed in a way a later try may mend, removes them otherwise. Then the report is final.
    JobReport release();

    // libcurl's write callback of a transfer.
    std::size_t receive(Transfer& transfer, const char* data, std::size_t length);

  private:
    // The first request learns how the file can be fetched: in pieces over many connections or
    // as one stream over one. A server that answers range requests inconsistently has every
    // request dropped (restarting) before one stream starts over. Once ended, the report stands.
    enum class Phase { probing, segmented, single, restarting, ended };
    // The one place the phase changes: what entering a phase takes, and the first end wins.
    void enter(Phase next);
    // Answers are dropped once the job ended or while every request is being dropped.
    bool dropsAnswers() const { return phase_ == Phase::ended || phase_ == Phase::restarting; }

    // What the end leaves of the temporary file.
    enum class Leftover {
        asItWas,      // ended before the server was heard: an earlier job's file and record
        whatArrived,  // kept with a record of its bytes, for a later job to resume
        nothing,
    };
    Leftover leftover() const;
    // Writes what waits in the connections' batches; false when the file then holds nothing.
    bool writeOutBatches();
    void removeTemporaryFiles();

    void readPreviousRecord();
    void adoptOrDropPreviousRecord();
    void startOver();
    // [begin, end) is in the file; `bytes`, when given, holds those bytes, and the hash may take
    // them (leaving an empty buffer in their place).
    void noteWritten(std::int64_t begin, std::int64_t end, std::vector<char>* bytes = nullptr);
    ResumeRecord currentRecord() const;
    bool recordable() const;
    void checkpointNow(Clock::time_point now);
    bool worthKeeping() const;
    bool verify();
    bool checkBeforeFirstByte(Transfer& transfer);
    bool acceptProbe(Transfer& transfer, bool ranged);
    void startSegments(Transfer& first, std::int64_t size);
    void learnSize(std::int64_t size);
    void finish(Outcome outcome, std::string reason);
    void fail(FailureKind kind, std::string reason);
    // A problem with the local file: a full disk or anything else.
    void failOnFile(FileProblem problem);
    void restartOverOneConnection(Clock::time_point now);
    bool flush(Transfer& transfer);
    bool store(Transfer& transfer, const char* data, std::size_t length);
    void handleSuccess(Transfer& transfer, Clock::time_point now);
    void handleFailure(Transfer& transfer, CURLcode code, Clock::time_point now);
    void retryLater(Transfer& transfer, const Failure& failure, Clock::time_point now);
    bool restartGotNoFurther(const Transfer& transfer);
    void issueRequest(Transfer& transfer, Clock::time_point now);
    bool outOfPatienceForAnAnswer(std::chrono::milliseconds pause, Clock::time_point now) const;
    std::chrono::milliseconds connectTimeout(Clock::time_point now) const;
    bool mayOpenOthers() const;
    bool worthOpeningOthers(Clock::time_point now) const;
    void openOtherConnections(Clock::time_point now);
    bool findWork(Transfer& transfer, Clock::time_point now);
    std::vector<Claim> claimsOfOthers(const Transfer* except, Clock::time_point now,
                                      std::chrono::milliseconds settled,
                                      std::vector<Transfer*>* owners = nullptr) const;
    std::int64_t freeBytes() const;
    void relieveSlowTransfers(Clock::time_point now);
    void addTransfersForFreePieces(Clock::time_point now);
    bool worthMoreConnections(Clock::time_point now);
    void completeIfDone();
    void removeRequest(Transfer& transfer);
    bool isFtp(Transfer& transfer) const;

    JobId id_;
    JobOptions options_;
    std::shared_ptr<JobProgress> progress_;
    CURLM* multi_;
    Listener& listener_;
    bool ftp_ = false;
    Phase phase_ = Phase::probing;
    bool inPieces_ = false;  // the file is fetched in pieces, also once the job has ended
    std::optional<PartFile> file_;
    ResumeFiles names_;
    std::unique_ptr<FileWorker> worker_;
    std::optional<ResumeRecord> previous_;  // found at the start, until the server is heard
    RangeSet written_;                      // bytes in the file that belong to this version
    std::int64_t resumedBytes_ = 0;
    std::int64_t probeStart_ = 0;  // the first request asks from here
    std::int64_t probeEnd_ = kUnbounded;
    std::optional<std::string> expectedSha256_;
    Clock::time_point lastCheckpoint_{};
    std::int64_t checkpointedBytes_ = 0;
    bool interrupted_ = false;
    bool ownsName_ = true;    // writes the target's usual temporary file, not one of its own
    bool resumable_ = false;  // keeps a resume record
    std::vector<std::unique_ptr<Transfer>> transfers_;
    std::vector<Piece> freePieces_;
    std::optional<FileIdentity> identity_;
    std::int64_t size_ = -1;
    bool sizeReported_ = false;
    Clock::time_point began_{};
    bool answered_ = false;  // the server has sent something, to any connection
    Clock::time_point segmentsStart_{};
    bool spreading_ = false;
    bool othersOpened_ = false;  // while the first answer was awaited
    Clock::time_point lastRelief_{};
    bool restartedOnce_ = false;
    std::int64_t furthestFromStart_ = 0;  // the longest stream from the first byte so far
    int restartsNoFurther_ = 0;           // streams since then that ended no further
    int retries_ = 0;
    int connections_ = 0;
    std::optional<JobReport> report_;
};

}  // namespace quorvane::engine
