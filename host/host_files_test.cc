#include "host/host_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_host_tree.h"

namespace {

struct StartCase {
  const char* host;
  std::vector<std::string> paths;
  std::string current;
  const std::vector<std::string>* places;
  std::string expected;
};

TEST(HostFilesTest, StartsFromTheFirstPlaceThatOpensOnlyWhereTheDefaultDoesNot) {
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
    HostTree host;
    for (const std::string& path : c.paths) host.Add(path);
    EXPECT_EQ(StartingPath(c.current, *c.places, host.root()), c.expected) << c.host;
  }
}

}  // namespace
