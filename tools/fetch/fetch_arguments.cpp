#include "fetch_arguments.h"

#include <curl/curl.h>

#include <charconv>
#include <memory>

#include "engine/sha256.h"

namespace quorvane::fetch {

const char* const kUsage =
    "usage: quorvane-fetch [-q] [-n CONNECTIONS] (-o FILE|-o FOLDER|-O) URL\n"
    "       quorvane-fetch --torrent FILE-OR-ADDRESS [--seed-for SECONDS] [--no-peers]\n"
    "                      (-o FILE|-o FOLDER|-O)\n";

const char* const kHelp =
    "quorvane-fetch: downloads one file over up to 10 connections.\n"
    "\n"
    "  -o FILE       save as FILE; an existing folder saves into it under the server's name\n"
    "  -O            save under the server's file name in the current folder\n"
    "  -n N          connections, 1 to 10 (default 10)\n"
    "  -q            no progress line and no error message\n"
    "  --sha256 HEX  keep the file only if its SHA-256 is HEX (64 hex digits, either case)\n"
    "  --save-every MS  save what has arrived for a resume every MS milliseconds (default\n"
    "                1000; 0 saves nothing, and an unfinished download is then removed)\n"
    "  --no-flush    do not flush the finished file to disk before it takes its name\n"
    "                (for benchmarks: a power cut may then leave a damaged file)\n"
    "  --torrent T   download the file of the .torrent T (a file, or an http/https address)\n"
    "                from other players and from the torrent's web seeds at once\n"
    "  --seed-for S  go on sharing the finished file with other players for S seconds\n"
    "  --no-peers    with --torrent: the web seeds alone, no other players\n"
    "  --no-lan-discovery  with --torrent: only the tracker's players, none found on the LAN\n"
    "  --upload-limit KIB  with --torrent: upload to players outside the LAN, KiB/s\n"
    "                (default 1024; 0 for no cap)\n"
    "  --help        this text\n"
    "  --version     the version\n"
    "\n"
    "It ends with one line of JSON on standard output: outcome, bytes, seconds, connections\n"
    "opened, retries, bytes already there from an earlier run (resumed) and the reason of a\n"
    "failure; with --torrent also the bytes from other players (fromPeers), from the web seeds\n"
    "(fromWebSeeds) and given to other players (uploaded).\n"
    "\n"
    "A download that fails or is interrupted (Ctrl-C, a signal, a crash, a power cut) keeps what\n"
    "has arrived hidden beside the file, as .FILE.part with its record .FILE.prec. The same\n"
    "command run again fetches only the rest, when the server still has the same file (same size\n"
    "and a strong ETag or Last-Modified, over FTP the file's time); otherwise it starts over.\n"
    "\n"
    "Exit status:\n"
    "    0  completed\n"
    "    1  failed for another reason\n"
    "    2  bad command line\n"
    "    3  the address is not valid (not http, https or ftp, or no file name)\n"
    "    4  the file could not be created, written or moved into place\n"
    "    5  the disk is full\n"
    "    6  network: refused, unreachable, reset or timed out, tries used up\n"
    "    7  the server's certificate could not be verified\n"
    "    8  the server refused access (401, 403, login)\n"
    "    9  no such file on the server (404, 410)\n"
    "   10  the server failed (other error statuses, too many redirects, malformed answers)\n"
    "   11  the server's answers did not match the requests, or the file changed\n"
    "   12  the file's SHA-256 is not the one --sha256 gave; it is not kept\n"
    "  130  interrupted by Ctrl-C (143 by SIGTERM)\n";

namespace {

// A whole number from lowest to highest, and nothing else.
bool readNumber(std::string_view value, int lowest, int highest, int& number) {
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    return error == std::errc() && end == value.data() + value.size() && number >= lowest &&
           number <= highest;
}

bool readConnections(std::string_view value, int& connections) {
    return readNumber(value, 1, 10, connections);
}

}  // namespace

std::optional<Arguments> parseArguments(const std::vector<std::string_view>& words,
                                        std::string& problem) {
    Arguments arguments;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        const bool hasValue = i + 1 < words.size();
        if (word == "--help" || word == "-h") {
            arguments.action = Arguments::Action::help;
            return arguments;
        } else if (word == "--version" || word == "-V") {
            arguments.action = Arguments::Action::version;
            return arguments;
        } else if (word == "-q") {
            arguments.quiet = true;
        } else if (word == "-O") {
            arguments.serverName = true;
        } else if (word == "-o" && hasValue) {
            arguments.output = words[++i];
        } else if (word == "--sha256" && hasValue) {
            arguments.sha256 = words[++i];
            if (!engine::normalisedSha256(arguments.sha256)) {
                problem = "--sha256 takes 64 hex digits";
                return std::nullopt;
            }
        } else if (word == "--save-every" && hasValue) {
            std::string_view value = words[++i];
            auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), arguments.saveEveryMs);
            if (error != std::errc() || end != value.data() + value.size() ||
                arguments.saveEveryMs < 0) {
                problem = "--save-every takes milliseconds";
                return std::nullopt;
            }
        } else if (word == "--torrent" && hasValue) {
            arguments.torrent = words[++i];
        } else if (word == "--seed-for" && hasValue) {
            if (!readNumber(words[++i], 0, 86400 * 365, arguments.seedFor)) {
                problem = "--seed-for takes seconds";
                return std::nullopt;
            }
        } else if (word == "--upload-limit" && hasValue) {
            if (!readNumber(words[++i], 0, 1024 * 1024, arguments.uploadLimitKiB)) {
                problem = "--upload-limit takes KiB per second";
                return std::nullopt;
            }
        } else if (word == "--stall-seconds" && hasValue) {
            if (!readNumber(words[++i], 1, 3600, arguments.stallSeconds)) {
                problem = "--stall-seconds takes seconds";
                return std::nullopt;
            }
        } else if (word == "--listen" && hasValue) {
            arguments.listen = words[++i];
        } else if (word == "--no-peers") {
            arguments.peers = false;
        } else if (word == "--no-lan-discovery") {
            arguments.lanDiscovery = false;
        } else if (word == "--cap-lan") {
            arguments.capLan = true;
        } else if (word == "--no-flush") {
            arguments.flush = false;
        } else if (word == "-n" && hasValue) {
            if (!readConnections(words[++i], arguments.connections)) {
                problem = "-n takes a number from 1 to 10";
                return std::nullopt;
            }
        } else if (arguments.url.empty() && !word.empty() && !word.starts_with("-")) {
            arguments.url = word;
        } else {
            problem = "unexpected argument: " + std::string(word);
            return std::nullopt;
        }
    }
    if (!arguments.torrent.empty() && !arguments.url.empty()) {
        problem = "give either an address or --torrent";
    } else if (arguments.url.empty() && arguments.torrent.empty()) {
        problem = "no address given";
    } else if (arguments.output.empty() == !arguments.serverName) {
        problem = "give either -o or -O";
    }
    if (!problem.empty()) return std::nullopt;
    return arguments;
}

std::optional<std::string> serverFileName(const std::string& url) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), &curl_url_cleanup);
    char* path = nullptr;
    if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_PATH, &path, 0) != CURLUE_OK) {
        return std::nullopt;
    }
    std::string segment(path);
    curl_free(path);
    segment.erase(0, segment.rfind('/') + 1);
    int length = 0;
    char* decoded =
        curl_easy_unescape(nullptr, segment.data(), static_cast<int>(segment.size()), &length);
    if (decoded == nullptr) return std::nullopt;
    std::string name(decoded, static_cast<std::size_t>(length));
    curl_free(decoded);
    if (name.empty() || name.starts_with('.') ||
        name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
        return std::nullopt;
    }
    return name;
}

}  // namespace quorvane::fetch
