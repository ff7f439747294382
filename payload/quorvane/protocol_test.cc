#include "payload/quorvane/protocol.h"

#include <gtest/gtest.h>

namespace {

TEST(ProtocolTest, AnswersEachRequest) {
  ServerStatus status;
  status.port = 33333;
  status.clients = 2;
  status.uptime_seconds = 75;
  status.zone_defaults = "$TTL 86400\n.dotted\n";
  const std::string kStatus = "+OK running port 33333 clients 2 uptime 75\r\n";
  struct Case {
    std::string request, answer;
    bool close;
  } cases[] = {
      {"STATUS", kStatus, false},
      {"status\r", kStatus, false},
      {"STATUS ", kStatus, false},
      {"Zone-Defaults", "+OK zone defaults follow\r\n$TTL 86400\r\n..dotted\r\n.\r\n", false},
      {"NOOP", "+OK\r\n", false},
      {"quit", "+OK bye\r\n", true},
      {"QUIT now", "-ERR no command takes an argument\r\n", false},
      {"", "-ERR empty request\r\n", false},
      {"HELO", "-ERR unknown command\r\n", false},
      {std::string("STATUS\0X", 8), "-ERR unknown command\r\n", false},
  };
  for (const Case& c : cases) {
    Reply reply = Answer(c.request, status);
    EXPECT_EQ(c.answer, reply.text) << c.request;
    EXPECT_EQ(c.close, reply.close) << c.request;
  }
}

}  // namespace
