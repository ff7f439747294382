// Installs the package with the mail part in a throwaway sandbox that has
// Debian's sendmail, then runs bench/mail_bench.sh there: vdeliver against
// sendmail's mail.local, vdeliver's peak memory, and vpop3d's RETR of a
// 200 MB mailbox against reading the file.
//   mail_bench

#include <cstdio>
#include <string>

#include "tests/installer_run.h"
#include "tests/mail_daemons.h"
#include "sandbox/sandbox.h"

namespace {

constexpr char kScript[] = "/usr/local/lib/qvtest/mail_bench.sh";
// The published SHA-crypt test vector, the password "Hello world!".
constexpr char kUserList[] =
    "alice:$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/O817G3uBnIFNjnQJuesI68u4OTLiBFdcbYE"
    "dFCoEOfaS35inz1\n"
    "bob:!\n"
    "carol:$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/O817G3uBnIFNjnQJuesI68u4OTLiBFdcbYE"
    "dFCoEOfaS35inz1\n"
    "dave:$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/O817G3uBnIFNjnQJuesI68u4OTLiBFdcbYE"
    "dFCoEOfaS35inz1\n";

}  // namespace

int main() {
  Sandbox sandbox;
  std::string err;
  if (!AddMailDaemonLayer(sandbox, SuperServer::kXinetd, &err)) {
    fprintf(stderr, "mail_bench: %s\n", err.c_str());
    return 1;
  }
  SeedMailHost(sandbox);
  SeedPopusersGroup(sandbox);
  SeedMailDaemons(sandbox);
  sandbox.Seed("/etc/passwd", *sandbox.ReadAfter("/etc/passwd") +
                                  "hostuser:x:1500:1500:Host User:/home/hostuser:/bin/sh\n");
  sandbox.Seed("/var/tmp/qvbench/users", kUserList, 0600);
  sandbox.SeedCopy(kScript, QV_SOURCE_DIR "/bench/mail_bench.sh");
  sandbox.SeedCopy("/usr/local/lib/qvtest/peak_memory", QV_PEAK_MEMORY);
  RunResult install = RunInstallerWithDaemons(
      sandbox, AnswersUpToAddress(MailPart::kGroupPresent) + kAddress + "n\n");
  if (install.exit_status != 0) {
    fprintf(stderr, "mail_bench: the installation failed:\n%s", install.output.c_str());
    return 1;
  }
  const std::string script = "set -e\necho example.test >> " + InFolder("/etc/VirtualDomains") +
                             "\ninstall -m 0640 /var/tmp/qvbench/users /etc/vmail/example.test\n" +
                             kScript + " " + InFolder("/bin/vdeliver") + " " +
                             InFolder("/bin/vpop3d");
  RunResult run = RunWithDaemons(sandbox, script, 900);
  printf("%s", run.output.c_str());
  return run.exit_status == 0 ? 0 : 1;
}
