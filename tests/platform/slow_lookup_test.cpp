// A name lookup that hangs, as one can for half a minute on a bad network, must not hold up the
// end of a read or of the engine: libcurl's resolver thread is left behind, not waited for.
// getaddrinfo is replaced in this test program, for names under ".hang.test" only.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string_view>
#include <thread>

#include "engine/engine.h"
#include "engine/engine_test_support.h"
#include "platform/http_read.h"
#include "scoped_environment.h"

namespace {

constexpr auto kHang = std::chrono::seconds(10);

bool hangs(const char* node) {
    return node && std::string_view(node).ends_with(".hang.test");
}

}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** result) {
    if (hangs(node)) {
        std::this_thread::sleep_for(kHang);
        return EAI_AGAIN;
    }
    using Real = int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real ? real(node, service, hints, result) : EAI_FAIL;
}

namespace quorvane {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLookupUnderWay = std::chrono::milliseconds(300);
// A hung lookup would hold on for kHang; loose enough for a loaded machine under a sanitizer.
constexpr auto kBudget = std::chrono::seconds(3);

class SlowLookup : public ::testing::Test {
  protected:
    test::ScopedEnvironment noProxy_{"no_proxy", std::string("*")};
};

TEST_F(SlowLookup, CancelledListReadReturnsWithinSeconds) {
    std::atomic<bool> cancel{false};
    auto read = std::async(std::launch::async, [&] {
        return platform::httpRead("http://list.hang.test/list/1/down.ini", cancel);
    });
    std::this_thread::sleep_for(kLookupUnderWay);
    ASSERT_EQ(read.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
        << "the lookup did not hang";
    const auto cancelled = Clock::now();
    cancel = true;
    EXPECT_EQ(read.wait_for(kBudget), std::future_status::ready);
    EXPECT_EQ(read.get(), "");
    EXPECT_LT(Clock::now() - cancelled, kBudget);
}

TEST_F(SlowLookup, EngineEndsWithinSecondsWithAJobInALookup) {
    testing::ScratchFolder folder;
    testing::RecordingListener listener;
    auto engine = std::make_unique<engine::Engine>(listener);
    const auto job = engine->start(
        testing::optionsFor("http://mirror.hang.test/dl/client.rar", folder / "client.rar", 4));
    std::this_thread::sleep_for(kLookupUnderWay);
    const auto released = Clock::now();
    engine.reset();
    EXPECT_LT(Clock::now() - released, kBudget);
    EXPECT_EQ(listener.endEvents(job.id), 1);
}

}  // namespace
}  // namespace quorvane
