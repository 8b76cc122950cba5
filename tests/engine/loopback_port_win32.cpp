#include <winsock2.h>

#include "engine_test_support.h"

namespace quorvane::testing {

int freeLoopbackPort() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    const SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    const bool bound = probe != INVALID_SOCKET &&
                       ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (probe != INVALID_SOCKET) ::closesocket(probe);
    WSACleanup();
    return bound ? ntohs(address.sin_port) : 0;
}

}  // namespace quorvane::testing
