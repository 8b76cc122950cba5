// quorvane-check-list [--hash] LIST
//
// The operator's check of a download list (a file, or an http/https address) before it is
// published: its encoding (GBK, or UTF-8 with a byte-order mark), its sections and counts, that
// every address answers with a size and honours range requests, and that part 2 of each two-part
// archive exists. With --hash it downloads every file and prints the [Sha256] section to add to
// the list (and says where a listed value differs). Exit status: 0 no problem found, 1 problems,
// 2 bad usage.

#include <curl/curl.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

#include "engine/sha256.h"
#include "list_check.h"
#include "list_torrents.h"

namespace {

using quorvane::checklist::serverName;

constexpr std::size_t kLargestList = 1 << 20;
constexpr long kTimeoutSeconds = 60;

struct Answer {
    long status = 0;
    std::int64_t size = -1;
    bool ranges = false;
    std::string error;
};

struct Body {
    std::string bytes;
    quorvane::engine::Sha256* hash = nullptr;
    bool tooLarge = false;
};

std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const std::size_t length = size * count;
    if (body->hash) {
        body->hash->add({data, length});
        return length;
    }
    if (body->bytes.size() + length > kLargestList) {
        body->tooLarge = true;
        return 0;
    }
    body->bytes.append(data, length);
    return length;
}

// One request: the whole body (into `body`), or with range only its first byte.
Answer request(const std::string& address, Body& body, bool firstByteOnly) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
    char error[CURL_ERROR_SIZE] = {};
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, address.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1024L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, kTimeoutSeconds);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &onData);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "identity");
    if (firstByteOnly) curl_easy_setopt(e, CURLOPT_RANGE, "0-0");
    Answer answer;
    CURLcode code = curl_easy_perform(e);
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &answer.status);
    if (code != CURLE_OK) {
        answer.error = error[0] != '\0' ? error : curl_easy_strerror(code);
        return answer;
    }
    const char* scheme = nullptr;
    curl_easy_getinfo(e, CURLINFO_SCHEME, &scheme);
    const bool ftp = scheme != nullptr && std::string_view(scheme) == "FTP";
    curl_off_t length = -1;
    curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    struct curl_header* range = nullptr;
    if (firstByteOnly && answer.status == 206 &&
        curl_easy_header(e, "Content-Range", 0, CURLH_HEADER, -1, &range) == CURLHE_OK) {
        const std::string_view value = range->value;
        const auto slash = value.rfind('/');
        if (slash != std::string_view::npos && value.substr(slash + 1) != "*") {
            answer.size = std::stoll(std::string(value.substr(slash + 1)));
            answer.ranges = true;
        }
    } else if (ftp || !firstByteOnly) {
        answer.size = length;
        answer.ranges = ftp;
    } else if (answer.status == 200) {
        answer.size = length;
    }
    return answer;
}

std::optional<std::string> readList(const std::string& where, std::string& why) {
    if (where.starts_with("http://") || where.starts_with("https://")) {
        Body body;
        Answer answer = request(where, body, false);
        if (!answer.error.empty() || body.tooLarge) {
            why = body.tooLarge ? "larger than 1 MiB" : answer.error;
            return std::nullopt;
        }
        return body.bytes;
    }
    std::ifstream in(where, std::ios::binary);
    if (!in) {
        why = "cannot be read";
        return std::nullopt;
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > kLargestList) {
        why = "larger than 1 MiB";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    bool hash = false;
    std::string where, tracker;
    for (int i = 1; i < argc; ++i) {
        std::string_view word = argv[i];
        if (word == "--hash") {
            hash = true;
        } else if (word == "--torrent" && i + 1 < argc) {
            tracker = argv[++i];
        } else if (where.empty() && !word.starts_with("-")) {
            where = word;
        } else {
            where.clear();
            break;
        }
    }
    if (where.empty()) {
        std::fprintf(stderr,
                     "usage: quorvane-check-list [--hash] [--torrent TRACKER-ADDRESS] "
                     "LIST-FILE-OR-ADDRESS\n");
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    std::string why;
    auto bytes = readList(where, why);
    if (!bytes) {
        std::printf("problem: the list %s\n", why.c_str());
        return 1;
    }
    auto check = quorvane::checklist::checkListText(*bytes);
    std::printf("list: %s, %zu entries\n", check.encoding.c_str(), check.entries.size());
    for (const auto& note : check.notes) std::printf("note: %s\n", note.c_str());

    std::set<std::string> seen;
    std::vector<std::string> addresses;
    for (const auto& entry : check.entries) {
        for (const auto& address : {entry.address, entry.otherPart}) {
            if (!address.empty() && seen.insert(address).second) addresses.push_back(address);
        }
    }
    std::vector<std::pair<std::string, std::string>> digests;
    for (const auto& address : addresses) {
        Body none;
        Answer answer = request(address, none, true);
        if (!answer.error.empty()) {
            check.problems.push_back(address + " does not answer: " + answer.error);
            continue;
        }
        if (answer.size < 0) {
            check.problems.push_back(address + " does not tell its size");
        } else if (!answer.ranges) {
            check.problems.push_back(address + " does not honour range requests (" +
                                     std::to_string(answer.size) + " bytes)");
        } else {
            std::printf("ok: %s, %lld bytes, ranges\n", address.c_str(),
                        static_cast<long long>(answer.size));
        }
        if (!hash) continue;
        quorvane::engine::Sha256 digest;
        Body body;
        body.hash = &digest;
        Answer whole = request(address, body, false);
        if (!whole.error.empty()) {
            check.problems.push_back(address + " could not be downloaded: " + whole.error);
            continue;
        }
        digests.emplace_back(serverName(address), digest.finishHex());
    }
    for (const auto& [name, listed] : check.listedSha256) {
        for (const auto& [hashed, hex] : digests) {
            if (hashed == name && quorvane::engine::normalisedSha256(listed) &&
                *quorvane::engine::normalisedSha256(listed) != hex) {
                check.problems.push_back("Sha256/" + name + " differs from the file on the server");
            }
        }
    }
    const auto torrents = quorvane::checklist::makeListTorrents(
        tracker.empty() ? std::vector<std::string>{} : addresses, tracker);
    check.problems.insert(check.problems.end(), torrents.problems.begin(), torrents.problems.end());
    for (const auto& problem : check.problems) std::printf("problem: %s\n", problem.c_str());
    if (hash) {
        std::printf("\n[Sha256]\n");
        std::set<std::string> printed;
        for (const auto& [name, hex] : digests) {
            if (printed.insert(name).second) std::printf("%s=%s\n", name.c_str(), hex.c_str());
        }
    }
    if (!tracker.empty()) std::printf("\n[Torrent]\n");
    for (const auto& [name, address] : torrents.section)
        std::printf("%s=%s\n", name.c_str(), address.c_str());
    return check.problems.empty() ? 0 : 1;
}
