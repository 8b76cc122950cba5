#pragma once

// Windows-style INI reading: section and key names compared regardless of letter case, blanks
// around names and values trimmed, lines of any length, the first of duplicated keys wins, ';'
// starts a comment only at the start of a line. Values are returned as the raw bytes of the file;
// a UTF-8 byte-order mark at its start is not part of them, and says the text is UTF-8.

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quorvane::platform {

class IniDocument {
  public:
    static IniDocument parse(std::string_view bytes);
    // Reads the whole file; a missing or unreadable file (or one over maxBytes) gives an empty
    // document.
    static IniDocument load(const std::filesystem::path& file, std::size_t maxBytes = 1 << 20);

    // Empty text when the section or key is absent.
    std::string value(std::string_view section, std::string_view key) const;
    // The text began with a UTF-8 byte-order mark; without one it is in the code page of the
    // file's writer.
    bool markedUtf8() const { return markedUtf8_; }

  private:
    // Lower-cased "section\nkey" -> value.
    std::unordered_map<std::string, std::string> values_;
    bool markedUtf8_ = false;
};

// One item from a file, as the platform's INI reader gives it.
std::string readIniValue(const std::filesystem::path& file, std::string_view section,
                         std::string_view key);

}  // namespace quorvane::platform
