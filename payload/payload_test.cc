#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/base64.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << file.rdbuf();
  return buffer.str();
}

// Returns what `command` printed on standard output.
std::string Output(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  pclose(pipe);
  return output;
}

TEST(PayloadTest, TextIsBase64InLinesOf72) {
  std::string text = ReadFile(QV_PAYLOAD_ECD);
  ASSERT_FALSE(text.empty());
  EXPECT_NE('\n', text.back());
  std::istringstream lines(text);
  std::vector<std::string> all;
  for (std::string line; std::getline(lines, line);) all.push_back(line);
  ASSERT_FALSE(all.empty());
  for (size_t i = 0; i < all.size(); ++i) {
    if (i + 1 < all.size()) {
      EXPECT_EQ(72u, all[i].size()) << "line " << i + 1;
    } else {
      EXPECT_GE(72u, all[i].size());
      EXPECT_LT(0u, all[i].size());
    }
    EXPECT_EQ(std::string::npos,
              all[i].find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "abcdefghijklmnopqrstuvwxyz0123456789+/="))
        << "line " << i + 1;
  }
}

class PayloadArchiveTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv_payload_test.XXXXXX";
    ASSERT_TRUE(mkdtemp(name));
    dir_ = name;
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string dir_;
};

TEST_F(PayloadArchiveTest, HoldsTheMembersInOrderWithTheirModes) {
  std::string gz, err;
  ASSERT_TRUE(DecodeBase64(ReadFile(QV_PAYLOAD_ECD), &gz, &err)) << err;
  // gzip's header: magic, deflate, FNAME only, a time, extra flags, Unix.
  ASSERT_GT(gz.size(), 18u);
  EXPECT_EQ("\x1f\x8b\x08", gz.substr(0, 3));
  EXPECT_EQ(0x08, gz[3]);
  EXPECT_EQ(3, gz[9]);
  EXPECT_EQ(std::string("qv.tar") + '\0', gz.substr(10, 7));

  std::string gz_path = dir_ + "/qv.tar.gz";
  std::ofstream(gz_path, std::ios::binary) << gz;
  std::string tar = Output("gzip -dc " + gz_path);
  ASSERT_EQ(0u, tar.size() % 10240);
  EXPECT_EQ(std::string("ustar  ") + '\0', tar.substr(257, 8));

  std::string tar_path = dir_ + "/qv.tar";
  std::ofstream(tar_path, std::ios::binary) << tar;
  std::istringstream listing(Output("tar -tvf " + tar_path));
  std::vector<std::string> members;
  for (std::string line; std::getline(listing, line);) {
    std::istringstream fields(line);
    std::string mode, owner, size, date, time, name;
    fields >> mode >> owner >> size >> date >> time >> name;
    EXPECT_EQ("root/root", owner) << line;
    // Every placeholder says what it stands for.
    if (mode[0] == '-') {
      EXPECT_NE("0", size) << line;
    }
    members.push_back(mode + " " + name);
  }
  const std::vector<std::string> expected = {
      "drwxrwxrwx qv/",
      "-rwxrwxrwx qv/qvremove",
      "-rwxrwxrwx qv/sendmail.cf",
      "-rwxr-xr-x qv/quorvane",
      "-rwxr-xr-x qv/libqvdns-0.1.so",
      "-rwxr-xr-x qv/libqvsml-0.1.so",
      "-rwxrwxrwx qv/vdeliver",
      "-rwxrwxrwx qv/vpop3d",
      "-rwxrwxrwx qv/libstdc++-3-libc6.2-2-2.10.0.so",
      "-rw-r--r-- qv/ipop3",
  };
  EXPECT_EQ(expected, members);
}

}  // namespace
