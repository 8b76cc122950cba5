#pragma once

// Small text helpers for names and addresses from the list.

#include <string>
#include <string_view>

namespace quorvane {

// Removes every occurrence of the marker.
void removeAll(std::string& text, std::string_view marker);

// Replaces every occurrence of from, compared regardless of ASCII letter case, by to.
std::string replaceAllIgnoringCase(std::string_view text, std::string_view from,
                                   std::string_view to);

bool containsIgnoringCase(std::string_view text, std::string_view part);

// Without blanks (space, tab, CR, LF) at either end.
std::string_view trimBlanks(std::string_view text);

}  // namespace quorvane
