#include "payload/quorvane/service_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(ServiceLogTest, AFloodOfEventsNeverTakesTheLogPastItsLimit) {
  char folder[] = "/tmp/qv-log-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/quorvane.log";
  constexpr off_t kLimit = 4096;
  {
    ServiceLog log(kLimit);
    std::string err;
    ASSERT_TRUE(log.Open(path, &err)) << err;
    for (int n = 0; n < 1000; ++n) {
      log.Write("refused 10.9.8." + std::to_string(n) + ": not in the access list");
      struct stat st;
      ASSERT_EQ(stat(path.c_str(), &st), 0);
      ASSERT_LE(st.st_size, kLimit) << n;
    }
  }
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string log = text.str();
  EXPECT_EQ(log.rfind("(older lines removed", 0), 0u) << log;
  EXPECT_TRUE(log.ends_with(" refused 10.9.8.999: not in the access list\n")) << log;
  // Whole lines only: each after the note starts with its date.
  std::istringstream lines(log);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) EXPECT_EQ(line.substr(0, 2), "20") << line;
  unlink(path.c_str());
  rmdir(folder);
}

}  // namespace
