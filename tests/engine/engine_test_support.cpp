#include "engine_test_support.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <fstream>

#include "support/fresh_folder.h"

namespace quorvane::testing {
namespace {

std::string hex(const unsigned char* digest, unsigned int length) {
    static const char* digits = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += digits[digest[i] >> 4];
        text += digits[digest[i] & 15];
    }
    return text;
}

}  // namespace

ScratchFolder::ScratchFolder() : path_(test::createFreshFolder("quorvane-engine-")) {}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::vector<std::string> listing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(utf8Of(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string sha256Of(const std::string& bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return hex(digest.data(), length);
}

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string sha256OfFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return "(missing)";
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    std::array<char, 65536> buffer{};
    while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0) {
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest.data(), &length);
    return hex(digest.data(), length);
}

void RecordingListener::onSizeKnown(engine::JobId job, std::int64_t totalSize, std::int64_t) {
    std::lock_guard lock(mutex_);
    sizes_.emplace(job, totalSize);
    changed_.notify_all();
}

void RecordingListener::onJobEnded(engine::JobId job, const engine::JobReport& report) {
    std::lock_guard lock(mutex_);
    ends_.emplace(job, report);
    changed_.notify_all();
}

std::optional<engine::JobReport> RecordingListener::waitForEnd(engine::JobId job,
                                                               std::chrono::seconds budget) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, budget, [&] { return ends_.count(job) > 0; })) return std::nullopt;
    return ends_.find(job)->second;
}

std::optional<std::int64_t> RecordingListener::waitForSize(engine::JobId job,
                                                           std::chrono::seconds budget) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, budget, [&] { return sizes_.count(job) > 0 || ends_.count(job) > 0; });
    auto found = sizes_.find(job);
    if (found == sizes_.end()) return std::nullopt;
    return found->second;
}

int RecordingListener::sizeEvents(engine::JobId job) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(sizes_.count(job));
}

int RecordingListener::endEvents(engine::JobId job) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(ends_.count(job));
}

engine::Tuning quickTuning() {
    engine::Tuning tuning;
    tuning.connectTimeout = std::chrono::milliseconds(2000);
    // Long enough for the first answer of a server started under ThreadSanitizer.
    tuning.lowSpeedWindow = std::chrono::milliseconds(2000);
    tuning.lowSpeedLimit = 1024;
    tuning.firstRetryPause = std::chrono::milliseconds(20);
    tuning.longestRetryPause = std::chrono::milliseconds(100);
    tuning.triesPerPiece = 5;
    tuning.minPieceSize = 64 * 1024;
    tuning.largestRequest = 1024 * 1024;
    tuning.writeBatch = 64 * 1024;
    // Most tests count requests and connections, and on a loaded machine any first answer may
    // be slow: the other connections are opened early only where a test asks for it.
    tuning.openOthersAfter = std::chrono::milliseconds::max();
    return tuning;
}

engine::JobOptions optionsFor(const std::string& url, const std::filesystem::path& target,
                              int connections) {
    engine::JobOptions options;
    options.url = url;
    options.target = target;
    options.connections = connections;
    options.tuning = quickTuning();
    return options;
}

Faults throttledTo(std::int64_t bytesPerSecond) {
    Faults faults;
    faults.bytesPerSecond = bytesPerSecond;
    return faults;
}

EngineBench::Run EngineBench::runToEnd(const engine::JobOptions& options,
                                       std::chrono::seconds budget) {
    Run run;
    run.job = engine.start(options);
    run.report = listener.waitForEnd(run.job.id, budget);
    return run;
}

EngineBench::Run EngineBench::download(const std::string& url, const std::string& name,
                                       int connections, std::chrono::seconds budget) {
    return runToEnd(optionsFor(url, folder / name, connections), budget);
}

void expectOnlyThePattern(const std::filesystem::path& folder, const std::string& name,
                          std::int64_t size, const std::string& context) {
    EXPECT_EQ(sha256OfFile(folder / utf8Path(name)), sha256Of(patternBytes(size))) << context;
    EXPECT_EQ(listing(folder), std::vector<std::string>{name}) << context;
}

void expectFailedLeavingNothing(const engine::JobReport& report,
                                const std::filesystem::path& folder, const std::string& reasonPart,
                                const std::string& context) {
    EXPECT_EQ(report.outcome, engine::Outcome::failed) << context;
    EXPECT_FALSE(report.reason.empty()) << context;
    EXPECT_NE(report.reason.find(reasonPart), std::string::npos)
        << context << ": " << report.reason;
    EXPECT_TRUE(listing(folder).empty()) << context;
}

}  // namespace quorvane::testing
