#include "common/write_all.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

// A pipe takes at most its buffer at a time, so a write of many times that
// size is short unless a reader keeps up; every byte must arrive, in order.
TEST(WriteAllTest, ShortWritesGoOnUntilAllIsWritten) {
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  ASSERT_GE(fcntl(fds[1], F_SETPIPE_SZ, 4096), 4096);
  std::string data(1 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  std::string received;
  std::thread reader([&] {
    char buffer[1000];  // smaller than the pipe, so the writer waits often
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
      received.append(buffer, static_cast<size_t>(n));
  });
  EXPECT_TRUE(WriteAll(fds[1], data));
  close(fds[1]);
  reader.join();
  close(fds[0]);
  EXPECT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data);
}

TEST(WriteAllTest, EmptyWriteSucceedsAndAFailedOneSaysWhy) {
  EXPECT_TRUE(WriteAll(-1, "", 0));
  errno = 0;
  EXPECT_FALSE(WriteAll(-1, "x", 1));
  EXPECT_EQ(errno, EBADF);
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  close(fds[0]);
  struct sigaction ignore = {}, old_pipe;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &old_pipe);
  EXPECT_FALSE(WriteAll(fds[1], std::string_view("gone")));
  EXPECT_EQ(errno, EPIPE);
  sigaction(SIGPIPE, &old_pipe, nullptr);
  close(fds[1]);
}

}  // namespace
