#include "engine/receive_buffers.h"

#include <winsock2.h>

#include <algorithm>

namespace quorvane::engine {
namespace {

// Each socket call costs far more than the bytes it copies (under Wine it is a round trip to the
// Wine server and back), and libcurl makes a readiness check and a receive per buffer's worth:
// so a receive takes up to half a MiB, and the socket may hold 4 MiB, so that there is that much
// to take. A fixed window of 4 MiB still carries 20 MiB/s per connection at a 200 ms round trip.
constexpr long kLeastReceiveBuffer = 512 * 1024;
constexpr int kSocketBuffer = 4 * 1024 * 1024;

int widenSocketBuffer(void*, curl_socket_t socket, curlsocktype purpose) {
    if (purpose == CURLSOCKTYPE_IPCXN) {
        // A refusal leaves the system's size, which works too, only with more calls.
        setsockopt(socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&kSocketBuffer),
                   sizeof kSocketBuffer);
    }
    return CURL_SOCKOPT_OK;
}

}  // namespace

void setReceiveBuffers(CURL* easy, long receiveBuffer) {
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, std::max(receiveBuffer, kLeastReceiveBuffer));
    curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &widenSocketBuffer);
}

}  // namespace quorvane::engine
