// The service's folder tree under the installation folder, its access list
// and, with the mail part, the mail folders and the virtual domain list.

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "base/settings.h"
#include "deploy/address.h"
#include "host/files.h"

namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kListMode = 0664;

constexpr char kAccessListHead[] =
    "#This file lists the  IP of the hosts which are\n"
    "#allowed to use the Quorvane server.\n"
    "127.0.0.1\n";
constexpr char kVirtualDomainsText[] =
    "#This file is used by sendmail and it lists the \n"
    "#virtual email domains.\n";

// Creates or truncates `path` and writes `text`; failures are not reported,
// an unwritable list does not stop the installation.
void WriteList(const std::string& path, std::string_view text) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, kListMode);
  if (fd < 0) return;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
}

}  // namespace

unsigned char CGeneral::GCreateFolders(unsigned char mail) {
  const std::string folder = InsFolder;
  for (const char* suffix : {"/etc", "/log", "/bin"}) {
    const std::string path = folder + suffix;
    if (mkdir(path.c_str(), kFolderMode) == 0) {
      journal_.Created(path);
      continue;
    }
    const int error = errno;
    if (error != EEXIST) {
      console_.PrintErrorText(error);
      errno = error;
      return 1;
    }
    // A folder taken over from an earlier installation is opened up to 0755.
    struct stat st;
    if (stat(path.c_str(), &st) == 0) journal_.ModeChanged(path, st.st_mode & 07777);
    chmod(path.c_str(), kFolderMode);
  }

  // An access list left by an earlier installation keeps its addresses.
  const std::string access_list = folder + "/etc/hosts.allow";
  if (!CanOpenForReading(access_list.c_str())) {
    uint8_t address[4];
    if (!AskAddress(console_, address)) return 1;
    const bool existed = PathExists(access_list.c_str());
    WriteList(access_list, std::string(kAccessListHead) + FormatAddress(address) + "\n");
    if (!existed && PathExists(access_list.c_str())) journal_.Created(access_list);
  }
  if (!mail) return 0;

  for (const char* path : {"/etc/vmail", "/var/spool/vmail"}) {
    if (mkdir(path, kFolderMode) == 0) {
      journal_.Created(path);
      continue;
    }
    const int error = errno;
    if (error != EEXIST) {
      console_.PrintErrorText(error);
      errno = error;
      return 1;
    }
  }

  const std::string domains = folder + "/etc/VirtualDomains";
  if (!CanOpenForReading(domains.c_str())) {
    const bool existed = PathExists(domains.c_str());
    WriteList(domains, kVirtualDomainsText);
    if (!existed && PathExists(domains.c_str())) journal_.Created(domains);
  }
  return 0;
}
