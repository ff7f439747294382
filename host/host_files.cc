#include "host/host_files.h"

#include <iterator>

#include "common/layout.h"
#include "common/service_manager.h"
#include "host/files.h"

// Debian keeps named's files in /etc/bind and its pid file in /run/named;
// sendmail's configuration lives in /etc/mail on most distributions, and
// Debian's daemon writes its pid file to /run/sendmail/mta.
const std::vector<std::string> kNamedConfPlaces = {"/etc/named.conf", "/etc/bind/named.conf"};
const std::vector<std::string> kNamedPidPlaces = {"/var/run/named/named.pid",
                                                  "/run/named/named.pid", "/var/run/named.pid"};
const std::vector<std::string> kSendmailCfPlaces(std::begin(kSendmailCfFiles),
                                                 std::end(kSendmailCfFiles));
const std::vector<std::string> kSendmailPidPlaces = {"/var/run/sendmail.pid",
                                                     "/run/sendmail/mta/sendmail.pid",
                                                     "/var/run/sendmail/mta/sendmail.pid"};

namespace {

bool Opens(const std::string& path) {
  return ProbeForReading(path.c_str()) == ReadProbe::kRegularFile;
}

}  // namespace

std::string StartingPath(const std::string& current, const std::vector<std::string>& places,
                         const std::string& root) {
  if (places.empty() || current != places.front() || Opens(root + current) ||
      UsesRcInitFolder(root))
    return current;
  for (const std::string& place : places) {
    if (Opens(root + place)) return place;
  }
  return current;
}
