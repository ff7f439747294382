#include "payload/vpop3d/login_gate.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

TEST(LoginGateTest, RequestsCrossWholeWithAnyBytes) {
  const GateRequest kRequests[] = {
      {GateRequest::Kind::kLogin, "alice@example.test", std::string("pa\0ss", 5), "NOOP\r\nST"},
      {GateRequest::Kind::kRelay, "USER root", "", ""},
      {GateRequest::Kind::kLogin, std::string(1024, 'u'), std::string(1024, 'p'),
       std::string(5000, 'x')},
  };
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
  for (const GateRequest& sent : kRequests) {
    ASSERT_TRUE(SendRequest(pair[0], sent));
    GateRequest got;
    ASSERT_TRUE(
        ReceiveRequest(pair[1], std::chrono::steady_clock::now() + std::chrono::seconds(10), &got));
    EXPECT_EQ(got.kind, sent.kind);
    EXPECT_EQ(got.login, sent.login);
    EXPECT_EQ(got.password, sent.password);
    EXPECT_EQ(got.pending, sent.pending);
  }
  // The reader gone: the monitor stops waiting.
  close(pair[0]);
  GateRequest got;
  EXPECT_FALSE(
      ReceiveRequest(pair[1], std::chrono::steady_clock::now() + std::chrono::seconds(10), &got));
  close(pair[1]);
}

TEST(LoginGateTest, MalformedDatagramsAreRefused) {
  const std::string whole = EncodeRequest({GateRequest::Kind::kLogin, "a@b", "pw", "rest"});
  GateRequest request;
  ASSERT_TRUE(DecodeRequest(whole, &request));
  std::string unknown_kind = whole;
  unknown_kind[0] = 'X';
  const std::string kMalformed[] = {
      "",
      unknown_kind,
      whole.substr(0, whole.size() - 1),    // cut short
      whole + "x",                          // something after the last field
      std::string("L\xff\xff\xff\xff", 5),  // a field longer than the datagram
  };
  for (const std::string& datagram : kMalformed)
    EXPECT_FALSE(DecodeRequest(datagram, &request)) << datagram.size();
}

}  // namespace
