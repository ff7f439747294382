#include "payload/vpop3d/client_lines.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

TEST(ClientLinesTest, SplitsLinesDropsOverlongOnesAndNoticesSilence) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string input = "USER a@b\r\nNOOP\n" + std::string(3000, 'x') + "\r\nQUIT\r\nST";
  ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  ClientLines lines(fds[0], 1);
  std::string line;
  EXPECT_EQ(lines.Next(&line), ClientRead::kLine);
  EXPECT_EQ(line, "USER a@b");
  EXPECT_TRUE(lines.LineWaiting());
  EXPECT_EQ(lines.Next(&line), ClientRead::kLine);
  EXPECT_EQ(line, "NOOP");
  EXPECT_EQ(lines.Next(&line), ClientRead::kTooLong);
  EXPECT_EQ(lines.Next(&line), ClientRead::kLine);
  EXPECT_EQ(line, "QUIT");
  EXPECT_FALSE(lines.LineWaiting());
  // A line still open when the client falls silent: the idle limit ends it.
  EXPECT_EQ(lines.Next(&line), ClientRead::kIdle);
  EXPECT_EQ(lines.pending(), "ST");
  close(fds[1]);
  EXPECT_EQ(lines.Next(&line), ClientRead::kClosed);
  close(fds[0]);
}

TEST(ClientLinesTest, BytesKeepingTheIdleTimerBusyDoNotOutlastTheSession) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  // One byte every 50 ms, never a line end: without a session limit the
  // idle limit of a second would never be reached.
  std::atomic<bool> stop = false;
  std::thread dripping([&] {
    while (!stop && write(fds[1], "x", 1) == 1) usleep(50 * 1000);
  });
  ClientLines lines(fds[0], 1, SessionClock::now() + std::chrono::milliseconds(300));
  std::string line;
  EXPECT_EQ(lines.Next(&line), ClientRead::kSessionOver);
  stop = true;
  dripping.join();
  close(fds[0]);
  close(fds[1]);
}
