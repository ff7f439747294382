#include "host/host_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class HostFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/qv-host-files-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    root_ = folder;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  // A file (or, ending in "/", a folder) at `path` of the host.
  void Add(const std::string& path) {
    const std::string full = root_ + path;
    if (path.back() == '/') {
      std::filesystem::create_directories(full);
      return;
    }
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full) << "x\n";
  }
  std::string root_;
};

struct StartCase {
  const char* host;
  std::vector<std::string> paths;
  std::string current;
  const std::vector<std::string>* places;
  std::string expected;
};

TEST_F(HostFilesTest, StartsFromTheFirstPlaceThatOpensOnlyWhereTheDefaultDoesNot) {
  const StartCase cases[] = {
      {"Debian", {"/etc/bind/named.conf"}, "/etc/named.conf", &kNamedConfPlaces,
       "/etc/bind/named.conf"},
      {"default present", {"/etc/named.conf", "/etc/bind/named.conf"}, "/etc/named.conf",
       &kNamedConfPlaces, "/etc/named.conf"},
      {"nothing anywhere", {}, "/etc/named.conf", &kNamedConfPlaces, "/etc/named.conf"},
      {"a folder is not the file", {"/etc/mail/sendmail.cf/"}, "/etc/sendmail.cf",
       &kSendmailCfPlaces, "/etc/sendmail.cf"},
      {"Debian's sendmail", {"/etc/mail/sendmail.cf"}, "/etc/sendmail.cf", &kSendmailCfPlaces,
       "/etc/mail/sendmail.cf"},
      {"Debian's pid file", {"/run/sendmail/mta/sendmail.pid"}, "/var/run/sendmail.pid",
       &kSendmailPidPlaces, "/run/sendmail/mta/sendmail.pid"},
      {"named's pid under /run", {"/run/named/named.pid"}, "/var/run/named/named.pid",
       &kNamedPidPlaces, "/run/named/named.pid"},
      {"the installer's layout keeps its default", {"/etc/rc.d/init.d/", "/etc/mail/sendmail.cf"},
       "/etc/sendmail.cf", &kSendmailCfPlaces, "/etc/sendmail.cf"},
      {"a path the administrator gave is kept", {"/etc/mail/sendmail.cf"}, "/opt/sendmail.cf",
       &kSendmailCfPlaces, "/opt/sendmail.cf"},
  };
  for (const StartCase& c : cases) {
    TearDown();
    SetUp();
    for (const std::string& path : c.paths) Add(path);
    EXPECT_EQ(StartingPath(c.current, *c.places, root_), c.expected) << c.host;
  }
}

}  // namespace
