#include "engine/receive_buffers.h"

namespace quorvane::engine {

// The kernel sizes the socket's buffer to the path by itself.
void setReceiveBuffers(CURL* easy, long receiveBuffer) {
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, receiveBuffer);
}

}  // namespace quorvane::engine
