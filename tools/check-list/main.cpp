// quorvane-check-list [--hash] [--timeout SECONDS] LIST
//
// The operator's check of a download list (a file, or an http/https address) before it is
// published: its encoding (GBK or UTF-8, as the program will read it), its sections and counts,
// that every address answers with a size and honours range requests, and that part 2 of each
// two-part archive exists. With --hash it downloads every file and prints the [Sha256] section to
// add to the list (and says where a listed value differs). Every request has a deadline; the
// addresses are asked a few at a time. Exit status: 0 no problem found, 1 problems, 2 bad usage.

#include <curl/curl.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <optional>
#include <set>
#include <string>

#include "address_check.h"
#include "engine/sha256.h"
#include "list_check.h"
#include "list_torrents.h"
#include "options.h"
#include "requests.h"

namespace {

using namespace quorvane::checklist;

constexpr std::size_t kLargestList = 1 << 20;

// The list's bytes, read no further than one byte past the largest list.
std::optional<std::string> readList(const Options& options, std::string& why) {
    const std::string& where = options.list;
    std::string bytes;
    bool tooLarge = false;
    if (where.starts_with("http://") || where.starts_with("https://")) {
        Request request{where, {}, false, options.timeout, true, {}};
        request.onBody = [&](const quorvane::engine::ResponseHead&, std::string_view data) {
            tooLarge = bytes.size() + data.size() > kLargestList;
            if (!tooLarge) bytes.append(data);
            return !tooLarge;
        };
        const Reply reply = runRequests({request}).front();
        if (!tooLarge && !reply.error.empty()) {
            why = "does not answer: " + reply.error;
            return std::nullopt;
        }
    } else {
        std::ifstream in(where, std::ios::binary);
        if (!in) {
            why = "cannot be read";
            return std::nullopt;
        }
        bytes.resize(kLargestList + 1);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (in.bad()) {
            why = "cannot be read";
            return std::nullopt;
        }
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        tooLarge = bytes.size() > kLargestList;
    }
    if (tooLarge) {
        why = "is larger than 1 MiB";
        return std::nullopt;
    }
    return bytes;
}

// Every address the program may fetch, each once, in the list's order.
std::vector<std::string> addressesOf(const ListCheck& check) {
    std::set<std::string> seen;
    std::vector<std::string> addresses;
    for (const auto& entry : check.entries) {
        for (const auto& address : {entry.address, entry.otherPart}) {
            if (!address.empty() && seen.insert(address).second) addresses.push_back(address);
        }
    }
    return addresses;
}

std::vector<AddressAnswer> askFirstBytes(const std::vector<std::string>& addresses,
                                         const Options& options) {
    std::vector<FirstByteCheck> checks;
    std::vector<Request> requests;
    for (const auto& address : addresses) {
        checks.emplace_back(address, options.timeout);
        requests.push_back(checks.back().request());
    }
    const auto replies = runRequests(std::move(requests));
    std::vector<AddressAnswer> answers;
    for (std::size_t i = 0; i < checks.size(); ++i) answers.push_back(checks[i].judge(replies[i]));
    return answers;
}

// Server name and digest of every file that could be hashed.
std::vector<std::pair<std::string, std::string>> hashFiles(
    const std::vector<std::string>& addresses, const std::vector<AddressAnswer>& answers,
    const Options& options, ListCheck& check) {
    std::vector<WholeFileHash> hashes;
    std::vector<std::string> hashed;
    std::vector<Request> requests;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (answers[i].size < 0) continue;  // its problem is already told
        hashes.emplace_back(addresses[i], answers[i], options.timeout);
        hashed.push_back(addresses[i]);
        requests.push_back(hashes.back().request());
    }
    const auto replies = runRequests(std::move(requests));
    std::vector<std::pair<std::string, std::string>> digests;
    for (std::size_t i = 0; i < hashes.size(); ++i) {
        std::string problem;
        if (auto hex = hashes[i].judge(replies[i], problem)) {
            digests.emplace_back(serverName(hashed[i]), *hex);
        } else {
            check.problems.push_back(problem);
        }
    }
    return digests;
}

int checkList(const Options& options) {
    std::string why;
    const auto bytes = readList(options, why);
    if (!bytes) {
        std::printf("problem: the list %s\n", why.c_str());
        return 1;
    }
    auto check = checkListText(*bytes);
    std::printf("list: %s, %zu entries\n", check.encoding.c_str(), check.entries.size());
    for (const auto& note : check.notes) std::printf("note: %s\n", note.c_str());

    const auto addresses = addressesOf(check);
    const auto answers = askFirstBytes(addresses, options);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (!answers[i].problem.empty()) {
            check.problems.push_back(answers[i].problem);
        } else {
            std::printf("ok: %s, %lld bytes, ranges\n", addresses[i].c_str(),
                        static_cast<long long>(answers[i].size));
        }
    }
    std::vector<std::pair<std::string, std::string>> digests;
    if (options.hash) digests = hashFiles(addresses, answers, options, check);
    for (const auto& [name, listed] : check.listedSha256) {
        const auto normalised = quorvane::engine::normalisedSha256(listed);
        for (const auto& [hashed, hex] : digests) {
            if (hashed == name && normalised && *normalised != hex) {
                check.problems.push_back("Sha256/" + name + " differs from the file on the server");
            }
        }
    }
    const auto torrents = quorvane::checklist::makeListTorrents(
        options.tracker.empty() ? std::vector<std::string>{} : addresses, options.tracker);
    check.problems.insert(check.problems.end(), torrents.problems.begin(), torrents.problems.end());
    for (const auto& problem : check.problems) std::printf("problem: %s\n", problem.c_str());
    if (options.hash) {
        std::printf("\n[Sha256]\n");
        std::set<std::string> printed;
        for (const auto& [name, hex] : digests) {
            if (printed.insert(name).second) std::printf("%s=%s\n", name.c_str(), hex.c_str());
        }
    }
    if (!options.tracker.empty()) std::printf("\n[Torrent]\n");
    for (const auto& [name, address] : torrents.section)
        std::printf("%s=%s\n", name.c_str(), address.c_str());
    return check.problems.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = parseOptions(argc, argv);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // Nothing the servers or the list send should throw; should anything else, it is still one
    // line of the report.
    int status = 1;
    try {
        status = checkList(*options);
    } catch (const std::exception& error) {
        std::printf("problem: the check stopped: %s\n", error.what());
    }
    curl_global_cleanup();
    return status;
}
