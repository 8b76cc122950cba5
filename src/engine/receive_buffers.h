#pragma once

// How much a connection takes from its socket at a time, and how much the socket may hold: on
// POSIX what the tuning asks for; on Windows more, since each socket call costs far more there.

#include <curl/curl.h>

namespace quorvane::engine {

void setReceiveBuffers(CURL* easy, long receiveBuffer);

}  // namespace quorvane::engine
