#include "app/protected_address.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "app/protected_sources.h"

namespace quorvane {
namespace {

TEST(ProgramProtectionKeys, HaveTheStoredForm) {
    const ProtectionKeys keys = programProtectionKeys();
    EXPECT_EQ(keys.innerPassword.size(), 77u);
    EXPECT_TRUE(std::all_of(keys.innerPassword.begin(), keys.innerPassword.end(),
                            [](char c) { return c >= 'a' && c <= 'z'; }));
    EXPECT_EQ(keys.outerPassword.size(), 75u);
    EXPECT_TRUE(std::all_of(keys.outerPassword.begin(), keys.outerPassword.end(),
                            [](char c) { return c >= '0' && c <= '9'; }));
    EXPECT_EQ(keys.innerAlgorithm, 2);
    EXPECT_EQ(keys.outerAlgorithm, 1);
    EXPECT_EQ(keys.byteListSeparator, ",");
}

// The build made these from the configured addresses; revealing must give them back.
TEST(ProtectedSources, RevealTheConfiguredAddresses) {
    const ProtectionKeys keys = programProtectionKeys();
    const std::array<std::string, 3> configured = {
        QUORVANE_TEST_LIST_SOURCE_1, QUORVANE_TEST_LIST_SOURCE_2, QUORVANE_TEST_LIST_SOURCE_3};
    const std::array<std::string_view, 3> stored = {kProtectedSource1, kProtectedSource2,
                                                    kProtectedSource3};
    EXPECT_EQ(programProtectedSources(), stored);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(revealAddress(stored[i], keys), configured[i]) << "source " << i + 1;
        EXPECT_EQ(revealAddress(stored[i], keys), configured[i]) << "revealed twice";
        EXPECT_EQ(stored[i].find("127.0.0.1"), std::string_view::npos);
        EXPECT_TRUE(std::all_of(stored[i].begin(), stored[i].end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) || c == ',';
        }));
        EXPECT_NE(stored[i].front(), ',');
        EXPECT_NE(stored[i].back(), ',');
    }
}

TEST(ProtectAddress, RoundTripsAnyAddress) {
    const ProtectionKeys keys = programProtectionKeys();
    for (const std::string_view address :
         {"http://list.example.net/down.ini", "https://[::1]:8443/a/b/c.ini?x=1", "h"}) {
        const std::string stored = protectAddress(address, keys);
        ASSERT_FALSE(stored.empty());
        EXPECT_EQ(revealAddress(stored, keys), address);
    }
}

// Whatever can be protected reveals again, up to the longest list the program reads; a longer
// address is refused instead of giving a list that reveals nothing.
TEST(ProtectAddress, RoundTripsUpToTheLimitAndRefusesBeyondIt) {
    const ProtectionKeys keys = programProtectionKeys();
    const auto address = [](std::size_t length) { return "http://m/" + std::string(length, 'a'); };
    std::size_t fits = 1;
    std::size_t tooLong = 64 * 1024;
    ASSERT_TRUE(protectAddress(address(tooLong), keys).empty());
    while (tooLong - fits > 1) {
        const std::size_t middle = (fits + tooLong) / 2;
        (protectAddress(address(middle), keys).empty() ? tooLong : fits) = middle;
    }
    const std::string stored = protectAddress(address(fits), keys);
    EXPECT_GT(stored.size(), kLongestByteList - 16 * 4) << "the limit is the list's, not less";
    EXPECT_EQ(revealAddress(stored, keys), address(fits));
    for (std::size_t longer = fits + 1; longer < fits + 64; ++longer) {
        const std::string refused = protectAddress(address(longer), keys);
        if (!refused.empty()) {
            EXPECT_EQ(revealAddress(refused, keys), address(longer)) << longer;
        }
    }
    EXPECT_TRUE(protectAddress(address(fits + 64), keys).empty());
}

TEST(RevealAddress, WrongPasswordsDoNotGiveTheAddress) {
    const std::string address = QUORVANE_TEST_LIST_SOURCE_1;
    ProtectionKeys wrongInner = programProtectionKeys();
    wrongInner.innerPassword.back() = wrongInner.innerPassword.back() == 'a' ? 'b' : 'a';
    ProtectionKeys wrongOuter = programProtectionKeys();
    wrongOuter.outerPassword.front() = wrongOuter.outerPassword.front() == '1' ? '2' : '1';

    const std::string withWrongInner = revealAddress(kProtectedSource1, wrongInner);
    EXPECT_NE(withWrongInner, address);
    EXPECT_FALSE(withWrongInner.starts_with("http"));
    EXPECT_NE(revealAddress(kProtectedSource1, wrongOuter), address);
}

TEST(DecodeByteList, BadItemsGiveEmptyText) {
    const ProtectionKeys keys = programProtectionKeys();
    const std::string good = encodeByteList("abc", "pw", 2, ",");
    ASSERT_EQ(decodeByteList(good, "pw", 2, ","), "abc");
    for (const std::string& bad :
         {std::string(), good + ",", "," + good, good + ",,1", good + ",256", good + ",-1",
          good + ", 1", good + ",1 ", good + ",+1", good + ",0x1", good + ",1.5", good + ",a",
          good + ",99999999999999999999", std::string("1;2;3")}) {
        EXPECT_EQ(decodeByteList(bad, "pw", 2, ","), "") << bad;
    }
    EXPECT_EQ(decodeByteList(good, "pw", 2, ""), "");
    EXPECT_EQ(decodeByteList(good, "pw", 7, ","), "");
    EXPECT_EQ(revealAddress("not,a,list", keys), "");
}

TEST(DecodeByteList, OtherSeparatorsAndLeadingZeros) {
    EXPECT_EQ(decodeByteList(encodeByteList("abc", "pw", 2, "; "), "pw", 2, "; "), "abc");
    const std::string list = encodeByteList("a", "pw", 2, ",");
    EXPECT_EQ(decodeByteList("00" + list, "pw", 2, ","), "a");
}

}  // namespace
}  // namespace quorvane
