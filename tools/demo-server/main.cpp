// quorvane-demo-server: the game's servers in one process on loopback, for trying the program.
//   --port N           listening port (default 18080)
//   --size-mib N       size of each client file in MiB (default 32)
//   --rate KIB_PER_S   throttle per connection in KiB/s, 0 for none (default 2048)
//   --down TEXT        the list's "Down" value (default True)
//   --bind ADDRESS     listening address (default 127.0.0.1)

#include <pthread.h>
#include <atomic>
#include <charconv>
#include <csignal>
#include <iostream>
#include <optional>
#include <string_view>
#include <thread>

#include "demo_server.h"

namespace {

using quorvane::demo::DemoServerOptions;

std::optional<std::int64_t> readCount(std::string_view text, std::int64_t min, std::int64_t max) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

bool applyOption(std::string_view name, std::string_view value, DemoServerOptions& options) {
    if (name == "--bind") {
        options.bindAddress = std::string(value);
    } else if (name == "--down") {
        options.downValue = std::string(value);
    } else if (name == "--port") {
        const auto port = readCount(value, 0, 65535);
        if (!port) return false;
        options.port = static_cast<int>(*port);
    } else if (name == "--size-mib") {
        const auto mebibytes = readCount(value, 0, 1024 * 1024);
        if (!mebibytes) return false;
        options.fileBytes = *mebibytes * 1024 * 1024;
    } else if (name == "--rate") {
        const auto kibibytes = readCount(value, 0, 1024 * 1024 * 1024);
        if (!kibibytes) return false;
        options.bytesPerSecond = *kibibytes * 1024;
    } else {
        return false;
    }
    return true;
}

std::optional<DemoServerOptions> parseArguments(int argc, char** argv) {
    DemoServerOptions options;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc || !applyOption(argv[i], argv[i + 1], options)) return std::nullopt;
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = parseArguments(argc, argv);
    if (!options) {
        std::cerr << "usage: quorvane-demo-server [--port N] [--size-mib N] [--rate KIB_PER_S]"
                     " [--down TEXT] [--bind ADDRESS]\n";
        return 2;
    }
    // Blocked here, before any thread starts, so that only the waiter below takes them.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

    quorvane::demo::DemoServer server(*options);
    if (!server.bind()) {
        std::cerr << "quorvane-demo-server: cannot listen on " << options->bindAddress << " port "
                  << options->port << '\n';
        return 1;
    }
    std::atomic<bool> signalled{false};
    std::thread signalWaiter([&server, &endSignals, &signalled] {
        int received = 0;
        sigwait(&endSignals, &received);
        signalled.store(true);
        server.stop();
    });
    std::cout << "quorvane-demo-server listening on " << server.baseAddress()
              << " (list: " << server.baseAddress() << "/list/1/down.ini)" << std::endl;
    server.run();
    // run() also ends when serving fails; then the waiter is woken here.
    if (!signalled.load()) kill(getpid(), SIGTERM);
    signalWaiter.join();
    return 0;
}
