#include "payload/vpop3d/failed_logins.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

class FailedLoginsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/qv-failures-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    path_ = folder_ + "/pop3-failures";
  }
  void TearDown() override {
    unlink(path_.c_str());
    unlink((folder_ + "/elsewhere").c_str());
    rmdir(folder_.c_str());
  }

  std::string folder_, path_;
};

TEST_F(FailedLoginsTest, TenFailuresAMinuteFromOneAddressAcrossConnections) {
  constexpr time_t kStart = 1700000000;
  // Each connection opens the record anew, as each vpop3d does.
  for (int attempt = 0; attempt < FailedLogins::kFailuresAllowed; ++attempt) {
    FailedLogins connection;
    std::string err;
    ASSERT_TRUE(connection.Open(path_, &err)) << err;
    EXPECT_TRUE(connection.Reserve("192.0.2.7", kStart + attempt)) << attempt;
  }
  FailedLogins record;
  std::string err;
  ASSERT_TRUE(record.Open(path_, &err)) << err;
  struct Case {
    const char* address;
    time_t when;
    bool allowed;
  };
  const Case kCases[] = {
      {"192.0.2.7", kStart + 20, false}, {"192.0.2.7", kStart + 59, false},
      {"192.0.2.8", kStart + 20, true},  // another address has its own count
      {"192.0.2.7", kStart + 60, true},  // the first failure has left the window
      {"192.0.2.7", kStart + 61, true},  // and the second
      {"192.0.2.7", kStart + 61, false},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(record.Reserve(c.address, c.when), c.allowed) << c.address << " at " << c.when;
}

TEST_F(FailedLoginsTest, ASuccessfulLoginIsNotCounted) {
  FailedLogins record;
  std::string err;
  ASSERT_TRUE(record.Open(path_, &err)) << err;
  for (int attempt = 0; attempt < 3 * FailedLogins::kFailuresAllowed; ++attempt) {
    ASSERT_TRUE(record.Reserve("local", 1700000000 + attempt % 30)) << attempt;
    record.Forgive("local", 1700000000 + attempt % 30);
  }
}

TEST_F(FailedLoginsTest, OnlyAPrivateRegularFileServesAsTheRecord) {
  ASSERT_EQ(symlink((folder_ + "/elsewhere").c_str(), path_.c_str()), 0);
  FailedLogins record;
  std::string err;
  EXPECT_FALSE(record.Open(path_, &err));
  EXPECT_FALSE(record.Reserve("local", 1700000000));
  unlink(path_.c_str());
  ASSERT_EQ(mkfifo(path_.c_str(), 0600), 0);
  EXPECT_FALSE(FailedLogins().Open(path_, &err));
  unlink(path_.c_str());
  ASSERT_EQ(close(creat(path_.c_str(), 0644)), 0);
  ASSERT_EQ(chmod(path_.c_str(), 0644), 0);
  EXPECT_FALSE(FailedLogins().Open(path_, &err));
}

}  // namespace
