#include "tests/mail_daemons.h"

#include <vector>

#include "tests/installer_run.h"
#include "tests/layer_cache.h"

namespace {

// fetchmail is there as a POP3 client the tests fetch with.
const std::vector<std::string> kMailPackages = {"sendmail-bin", "sendmail-cf", "m4", "tcpd",
                                                "fetchmail"};

// Stops the daemon whose pid is the first line of the pid file, and waits
// (five seconds at most) for it to go.
constexpr char kStopByPidFile[] = R"(stop_daemon() {
  pid=$(head -n 1 "$1" 2>/dev/null)
  case "$pid" in ''|*[!0-9]*) return 0 ;; esac
  kill "$pid" 2>/dev/null || return 0
  n=0
  while kill -0 "$pid" 2>/dev/null && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
}
)";

constexpr char kStopAll[] =
    "for daemon in sendmail xinetd inet; do /etc/rc.d/init.d/$daemon stop >/dev/null; done";

// The script prints what the stand-ins print, so transcripts read the same.
std::string InitScript(const std::string& name, const std::string& pid_file,
                       const std::string& start_command) {
  return "#!/bin/sh\n"
         "echo \"" +
         name + " $*\" >> " + kInitLog + "\n" + kStopByPidFile +
         "case \"$1\" in\n"
         "  stop) stop_daemon " +
         pid_file +
         " ;;\n"
         "  start|restart) stop_daemon " +
         pid_file + "\n    " + start_command + " </dev/null >>/var/log/qvtest-" + name +
         ".log 2>&1 ;;\n"
         "esac\n"
         "echo \"" +
         name + " $*: done\"\n";
}

}  // namespace

bool AddMailDaemonLayer(Sandbox& sandbox, SuperServer server, std::string* err) {
  std::vector<std::string> packages = kMailPackages;
  packages.push_back(server == SuperServer::kXinetd ? "xinetd" : "openbsd-inetd");
  std::string layer;
  if (!PackageLayer(packages, &layer, err)) return false;
  sandbox.AddLayer(layer);
  return true;
}

bool AddStockHostLayers(Sandbox& sandbox, SuperServer server, std::string* err) {
  std::vector<std::string> packages = kMailPackages;
  packages.push_back(server == SuperServer::kXinetd ? "xinetd" : "openbsd-inetd");
  std::string mail_layer, dns_layer;
  if (!PackageLayer(packages, &mail_layer, err) ||
      !PackageLayerOn({"sendmail", "bind9"}, {mail_layer}, &dns_layer, err))
    return false;
  sandbox.AddLayer(mail_layer);
  sandbox.AddLayer(dns_layer);
  return true;
}

void SeedMailDaemons(Sandbox& sandbox) {
  // sendmail waits a minute for a host name that is not fully qualified.
  sandbox.Seed("/etc/hosts", "127.0.0.1\tlocalhost\n127.0.1.1\tqvhost.example.test qvhost\n");
  // The queue is run every few seconds, so deferred mail goes out soon;
  // the load of a busy test machine must not make sendmail queue or refuse.
  sandbox.Seed("/etc/rc.d/init.d/sendmail",
               InitScript("sendmail", "/var/run/sendmail.pid",
                          "/usr/sbin/sendmail -C /etc/sendmail.cf -OQueueLA=1000 "
                          "-ORefuseLA=1000 -bd -q3s"),
               0755);
  sandbox.Seed("/etc/rc.d/init.d/xinetd",
               InitScript("xinetd", "/var/run/xinetd.pid",
                          "/usr/sbin/xinetd -pidfile /var/run/xinetd.pid -filelog "
                          "/var/log/qvtest-xinetd.log"),
               0755);
  sandbox.Seed("/etc/rc.d/init.d/inet", InitScript("inet", "/var/run/inetd.pid", "/usr/sbin/inetd"),
               0755);
  sandbox.SeedCopy(kMailClient, QV_SOURCE_DIR "/tests/mail_client.py");
}

RunResult RunInstallerWithDaemons(Sandbox& sandbox, const std::string& answers) {
  RunOptions options;
  options.working_dir = DistDir();
  options.stdin_text = answers;
  return sandbox.Run(
      {"/bin/sh", "-c", "trap '" + std::string(kStopAll) + "' EXIT\n" + DistDir() + "/qvinstall"},
      options);
}

RunResult RunWithDaemons(Sandbox& sandbox, const std::string& script, int timeout_seconds) {
  RunOptions options;
  options.timeout_seconds = timeout_seconds;
  const std::string stop_all = kStopAll;
  return sandbox.Run({"/bin/sh", "-c", "trap '" + stop_all + "' EXIT\n{\n" + script + "\n} 2>&1"},
                     options);
}
