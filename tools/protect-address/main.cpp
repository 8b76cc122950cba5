// protect-address ADDRESS        prints the stored list of a list source address
// protect-address --reveal LIST  prints the address a stored list reveals, to check it

#include <iostream>
#include <string>
#include <string_view>

#include "app/protected_address.h"

namespace {

int printUsage() {
    std::cerr << "usage: protect-address ADDRESS\n"
                 "       protect-address --reveal LIST\n";
    return 2;
}

int printResult(const std::string& text, const std::string& failure) {
    if (text.empty()) {
        std::cerr << "protect-address: " << failure << '\n';
        return 1;
    }
    std::cout << text << '\n';
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const quorvane::ProtectionKeys keys = quorvane::programProtectionKeys();
    if (argc == 2 && std::string_view(argv[1]) != "--reveal" &&
        !std::string_view(argv[1]).starts_with("-")) {
        return printResult(quorvane::protectAddress(argv[1], keys),
                           "cannot protect the address: its stored list would be longer than the " +
                               std::to_string(quorvane::kLongestByteList) +
                               " characters the program reads back");
    }
    if (argc == 3 && std::string_view(argv[1]) == "--reveal") {
        return printResult(quorvane::revealAddress(argv[2], keys),
                           "the list does not reveal an address");
    }
    return printUsage();
}
