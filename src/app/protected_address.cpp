#include "app/protected_address.h"

#include <charconv>
#include <cstdint>

#include "platform/cipher.h"

namespace quorvane {

namespace {

// One decimal byte value, digits only.
bool appendByteItem(std::string_view item, std::string& bytes) {
    unsigned value = 0;
    const char* end = item.data() + item.size();
    const auto [stop, error] = std::from_chars(item.data(), end, value);
    if (item.empty() || error != std::errc() || stop != end || value > 255) return false;
    bytes.push_back(static_cast<char>(static_cast<std::uint8_t>(value)));
    return true;
}

}  // namespace

std::string decodeByteList(std::string_view list, std::string_view password, int algorithm,
                           std::string_view separator) {
    if (list.empty() || separator.empty() || list.size() > kLongestByteList) return {};
    std::string bytes;
    while (true) {
        const auto next = list.find(separator);
        if (!appendByteItem(list.substr(0, next), bytes)) return {};
        if (next == std::string_view::npos) break;
        list.remove_prefix(next + separator.size());
    }
    return platform::decryptData(bytes, password, algorithm).value_or(std::string());
}

std::string encodeByteList(std::string_view bytes, std::string_view password, int algorithm,
                           std::string_view separator) {
    const auto encrypted = platform::encryptData(bytes, password, algorithm);
    if (!encrypted || encrypted->empty()) return {};
    std::string list;
    for (const char byte : *encrypted) {
        if (!list.empty()) list += separator;
        list += std::to_string(static_cast<unsigned>(static_cast<std::uint8_t>(byte)));
        if (list.size() > kLongestByteList) return {};  // could not be read back
    }
    return list;
}

std::string revealAddress(std::string_view storedList, const ProtectionKeys& keys) {
    const std::string innerList =
        decodeByteList(storedList, keys.outerPassword, keys.outerAlgorithm, keys.byteListSeparator);
    return decodeByteList(innerList, keys.innerPassword, keys.innerAlgorithm,
                          keys.byteListSeparator);
}

std::string protectAddress(std::string_view address, const ProtectionKeys& keys) {
    const std::string innerList =
        encodeByteList(address, keys.innerPassword, keys.innerAlgorithm, keys.byteListSeparator);
    if (innerList.empty()) return {};
    return encodeByteList(innerList, keys.outerPassword, keys.outerAlgorithm,
                          keys.byteListSeparator);
}

ProtectionKeys programProtectionKeys() {
    // Hides the addresses from casual reading; no protection against someone with the program file.
    ProtectionKeys keys{
        .innerPassword =
            "jlirsgvvgvgoioyfwgtsayfekmfedadjdjplcxumdlvckwiozdddqcbvkijfwejgesbscyrevdiuf",
        .innerAlgorithm = 2,
        .outerPassword =
            "255943637692975222625091429899192683040443617126950686677329313713836995472",
        .outerAlgorithm = 1,
        .byteListSeparator = ",",
    };
    return keys;
}

}  // namespace quorvane
