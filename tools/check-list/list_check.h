#pragma once

// What quorvane-check-list finds in a list's text, before it asks any server.

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::checklist {

struct Entry {
    int number = 0;
    std::string name;       // UTF-8
    std::string address;    // as the list holds it
    std::string otherPart;  // the derived address of a two-part archive's other part, or empty
};

struct ListCheck {
    std::string encoding;  // "GBK", "UTF-8 (marked)" or "UTF-8 (no mark)"
    std::vector<std::string> problems;
    std::vector<std::string> notes;
    std::vector<Entry> entries;
    std::vector<std::pair<std::string, std::string>> listedSha256;  // server name, value
};

ListCheck checkListText(std::string_view bytes);

// The text after the last "/" of an address.
std::string serverName(std::string_view address);

}  // namespace quorvane::checklist
