#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "engine_test_support.h"

namespace quorvane::testing {

int freeLoopbackPort() {
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    ::close(probe);
    return bound ? ntohs(address.sin_port) : 0;
}

}  // namespace quorvane::testing
