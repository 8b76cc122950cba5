#pragma once

// The list sources' addresses are kept only as protected byte lists: the address encrypted with the
// inner layer, written as decimal byte values, and that text encrypted again with the outer layer
// and written the same way. Revealing runs the layers in reverse.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

struct ProtectionKeys {
    std::string innerPassword;
    int innerAlgorithm = 2;
    std::string outerPassword;
    int outerAlgorithm = 1;
    std::string byteListSeparator = ",";
};

// The longest byte list decodeByteList reads; far above any address's, and it keeps a damaged
// list from growing without bound. Lists are never made longer than this.
inline constexpr std::size_t kLongestByteList = 64 * 1024;

// Splits the list at the separator, takes each item as one decimal byte 0..255 and decrypts the
// bytes. Any bad item, an empty list or a failed decryption gives an empty text, which then fails
// as an address.
std::string decodeByteList(std::string_view list, std::string_view password, int algorithm,
                           std::string_view separator);
// The reverse: encrypts the bytes and writes them as decimal values between separators. Empty on
// failure and when the list would be longer than kLongestByteList.
std::string encodeByteList(std::string_view bytes, std::string_view password, int algorithm,
                           std::string_view separator);

// Outer layer first, then the inner one. A stored list that does not reveal gives empty text.
std::string revealAddress(std::string_view storedList, const ProtectionKeys& keys);
// Makes the stored list of an address: inner layer first, then the outer one. Empty when the
// program could not reveal it again (a list longer than kLongestByteList, about a 4 KB address).
std::string protectAddress(std::string_view address, const ProtectionKeys& keys);

// The passwords, algorithm numbers and separator this program was built with.
ProtectionKeys programProtectionKeys();

// The stored lists of list sources 1, 2 and 3, made by the build from its configured addresses.
// Defined in the quorvane_protection library.
std::array<std::string_view, 3> programProtectedSources();

}  // namespace quorvane
