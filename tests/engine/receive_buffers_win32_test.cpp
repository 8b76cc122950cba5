// The sockets of Windows transfers hold several MiB, so that each of the costly socket calls
// there takes much at a time.

#include <gtest/gtest.h>
#include <winsock2.h>

#include "engine/curl_handles.h"
#include "engine/receive_buffers.h"
#include "support/test_http_server.h"

namespace quorvane::testing {
namespace {

TEST(ReceiveBuffersOnWindows, TheSocketOfATransferHoldsMiBs) {
    TestHttpServer server;
    server.serve("/file.bin", "bytes");
    engine::EasyHandle easy(curl_easy_init());
    curl_easy_setopt(easy.get(), CURLOPT_URL, server.url("/file.bin").c_str());
    curl_easy_setopt(easy.get(), CURLOPT_CONNECT_ONLY, 1L);
    engine::setReceiveBuffers(easy.get(), 80000);
    ASSERT_EQ(curl_easy_perform(easy.get()), CURLE_OK);

    curl_socket_t socket = CURL_SOCKET_BAD;
    ASSERT_EQ(curl_easy_getinfo(easy.get(), CURLINFO_ACTIVESOCKET, &socket), CURLE_OK);
    int size = 0;
    int length = sizeof size;
    ASSERT_EQ(getsockopt(socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &length),
              0);
    EXPECT_GE(size, 4 * 1024 * 1024);
}

}  // namespace
}  // namespace quorvane::testing
