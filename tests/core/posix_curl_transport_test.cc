// The transport against a server that never answers and a port that refuses: it gives up
// within its limits and names the server without the secrets of its address.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "notify/curl_transport.h"

namespace jr {
namespace {

TEST(CurlTransport, GivesUpWithinItsLimitsNamingTheServerWithoutSecrets) {
  // A listener on a free port that nobody accepts from: connections are taken and never
  // hear a word.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(listen(silent, 8), 0);
  getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size);
  const TransferLimits limits{std::chrono::milliseconds(300), 2, std::chrono::milliseconds(100)};
  // Nothing listens on port 1 of a test machine: each try is refused at once.
  for (int port : {static_cast<int>(ntohs(address.sin_port)), 1}) {
    const std::string where = "127.0.0.1:" + std::to_string(port);
    SCOPED_TRACE(where);
    const auto start = std::chrono::steady_clock::now();
    const Status mailed = SendMail({"smtp://" + where, "jobrunner@example.org", "", ""},
                                   {{"ops@example.org"}, "subject", "body", ""}, limits);
    const Status posted = PostJson("http://hook:t0ken@" + where + "/in?key=s3cret", "{}", limits);
    const auto took = std::chrono::steady_clock::now() - start;
    // Two tries of 300 ms with a pause of 100 ms each, and nothing waits longer.
    EXPECT_LT(took, std::chrono::seconds(3));
    if (port != 1) {
      EXPECT_GE(took, std::chrono::milliseconds(2 * 700));
    }
    for (const Status& status : {mailed, posted}) {
      EXPECT_EQ(status.message.rfind(where + ": ", 0), 0u) << status.message;
      EXPECT_EQ(status.message.find("t0ken"), std::string::npos) << status.message;
      EXPECT_EQ(status.message.find("s3cret"), std::string::npos) << status.message;
    }
  }
  close(silent);
}

}  // namespace
}  // namespace jr
