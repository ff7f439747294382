#include "tests/installer_run.h"

#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>

namespace {

constexpr char kNamedConf[] = R"(// named configuration for example.test
options {
	directory "/var/named";
	pid-file "/var/run/named/named.pid";
	allow-query { any; };
	recursion no;
};

zone "." IN {
	type hint;
	file "named.ca";
};

zone "localhost" IN {
	type master;
	file "localhost.zone";
	allow-update { none; };
};

zone "0.0.127.in-addr.arpa" IN {
	type master;
	file "named.local";
	allow-update { none; };
};

zone "example.test" IN {
	type master;
	file "example.test.zone";
};
)";

constexpr char kSendmailCf[] = R"(# sendmail.cf for qvhost.example.test
V8/Berkeley
Cwlocalhost qvhost.example.test
Fw-o /etc/mail/local-host-names
DnMAILER-DAEMON
O QueueDirectory=/var/spool/mqueue
O PidFile=/var/run/sendmail.pid
O DeliveryMode=background

Scanonify=3
R$*			$: $1

Sparse=0
R$*			$: $1

Mlocal,		P=/usr/bin/procmail, F=lsDFMAw5:/|@qSPfhn9, S=EnvFromL/HdrFromL, R=EnvToL/HdrToL,
		T=DNS/RFC822/X-Unix,
		A=procmail -Y -a $h -d $u
Mprog,		P=/bin/sh, F=lsDFMoqeu9, S=EnvFromL/HdrFromL, R=EnvToL/HdrToL, D=$z:/,
		T=X-Unix/X-Unix/X-Unix,
		A=sh -c $u
)";

constexpr char kIpop3Entry[] = R"(# default: off
# description: The POP3 service allows remote users to access their mail \
#              using an POP3 client such as Netscape Communicator, mutt, \
#              or fetchmail.
service pop3
{
	socket_type		= stream
	wait			= no
	user			= root
	server			= /usr/sbin/ipop3d
	log_on_success		+= USERID
	log_on_failure		+= USERID
	disable			= yes
}
)";

constexpr char kLinuxconfConf[] =
    "DATE.dialog.timezone America/New_York\n"
    "netconf.hostname qvhost.example.test\n";

}  // namespace

std::string ServerAnswers(MailPart mail, bool takeover) {
  std::string answers = mail == MailPart::kNone ? "n\n" : "y\n";
  answers += "\n\n\n";  // port, disconnect time, installation folder
  if (takeover) answers += "Y\n";
  if (mail == MailPart::kCreatingGroup) answers += "y\n";
  if (mail != MailPart::kNone) answers += "\n";  // root folder
  return answers;
}

std::string AnswersUpToAddress(MailPart mail, bool takeover) {
  return ServerAnswers(mail, takeover) + kDnsAnswers;
}

std::string InFolder(const std::string& relative) {
  return std::string(kDefaultInstallationFolder) + relative;
}

std::string DistDir() { return QV_DIST_DIR; }

void SeedStandardHost(Sandbox& sandbox) {
  sandbox.SeedInitScripts();
  sandbox.Seed("/etc/named.conf", kNamedConf);
  sandbox.Seed("/var/run/named/named.pid", "1234\n");
}

void SeedMailHost(Sandbox& sandbox) {
  SeedStandardHost(sandbox);
  sandbox.Seed("/etc/sendmail.cf", kSendmailCf);
  sandbox.Seed("/var/run/sendmail.pid", "2345\n/usr/sbin/sendmail -bd -q1h\n");
  sandbox.Seed("/etc/xinetd.d/ipop3", kIpop3Entry);
  sandbox.Seed("/etc/conf.linuxconf", kLinuxconfConf);
}

void SeedPopusersGroup(Sandbox& sandbox) {
  sandbox.Seed("/etc/group",
               WithoutEntry(sandbox, "/etc/group", "popusers") + "popusers:x:4242:\n");
}

void SeedMailHostWithGroups(Sandbox& sandbox) {
  SeedMailHost(sandbox);
  SeedPopusersGroup(sandbox);
}

void SeedWithoutMailGroup(Sandbox& sandbox) {
  sandbox.Seed("/etc/group", WithoutEntry(sandbox, "/etc/group", "mail"));
  sandbox.Seed("/etc/gshadow", WithoutEntry(sandbox, "/etc/gshadow", "mail"), 0640);
}

RunResult RunInstaller(Sandbox& sandbox, const std::string& answers, RunOptions options) {
  options.working_dir = DistDir();
  options.stdin_text = answers;
  return sandbox.Run({DistDir() + "/qvinstall"}, options);
}

RunResult RunInstallerWith(Sandbox& sandbox, const std::vector<std::string>& args,
                           const std::string& answers) {
  RunOptions options;
  options.working_dir = DistDir();
  options.stdin_text = answers;
  std::vector<std::string> argv = {DistDir() + "/qvinstall"};
  argv.insert(argv.end(), args.begin(), args.end());
  return sandbox.Run(argv, options);
}

RunResult RunTyped(Sandbox& sandbox, const std::vector<std::string>& answers) {
  constexpr char kAnswers[] = "/tmp/qvtest-typed-answers";
  constexpr char kStatusLine[] = "\n--- status ";
  std::string lines;
  for (const std::string& answer : answers) lines += answer + "\n";
  sandbox.Seed(kAnswers, lines);
  RunOptions options;
  options.working_dir = DistDir();
  RunResult run =
      sandbox.Run({"python3", QV_TYPED_CONSOLE, kAnswers, DistDir() + "/qvinstall"}, options);
  const size_t status_at = run.output.rfind(kStatusLine);
  if (run.exit_status != 0 || status_at == std::string::npos) return run;
  run.exit_status = std::stoi(run.output.substr(status_at + strlen(kStatusLine)));
  run.output.resize(status_at);
  return run;
}

RunResult RunOnConsole(Sandbox& sandbox, const std::string& answers, RunOptions options,
                       const std::string& dist_dir) {
  options.working_dir = dist_dir;
  options.stdin_text = answers;
  return sandbox.Run({"/bin/sh", "-c", "exec " + dist_dir + "/qvinstall 2>&1"}, options);
}

RunResult RunScript(Sandbox& sandbox, const std::string& script, RunOptions options) {
  return sandbox.Run({"/bin/sh", "-c", script}, options);
}

std::string ScriptUpToFirstQuestion(const std::string& output_file) {
  return "cd " + DistDir() +
         "\n"
         "mkfifo /tmp/answers\n"
         "./qvinstall < /tmp/answers > " +
         output_file +
         " 2>&1 &\n"
         "installer=$!\n"
         "exec 3> /tmp/answers\n"
         "until grep -q 'sendmail controller' " +
         output_file + " 2>/dev/null; do sleep 0.05; done\n";
}

std::string ShellWord(const std::string& text) {
  std::string word = "'";
  for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

std::string WithoutEntry(const Sandbox& sandbox, const std::string& file, const std::string& name) {
  std::istringstream in(sandbox.ReadAfter(file).value_or(""));
  std::string kept, line;
  while (std::getline(in, line))
    if (line.rfind(name + ":", 0) != 0) kept += line + "\n";
  return kept;
}

std::optional<std::string> AccountLine(const Sandbox& sandbox, const std::string& file,
                                       const std::string& name) {
  auto content = sandbox.ReadAfter(file);
  if (!content) return std::nullopt;
  std::string text = "\n" + *content;
  size_t at = text.find("\n" + name + ":");
  if (at == std::string::npos) return std::nullopt;
  size_t end = text.find('\n', at + 1);
  return text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

std::optional<uid_t> AccountUid(const Sandbox& sandbox, const std::string& name) {
  const std::optional<std::string> line = AccountLine(sandbox, "/etc/passwd", name);
  if (!line) return std::nullopt;
  // name:password:uid:...
  const size_t first = line->find(':'), second = line->find(':', first + 1);
  if (first == std::string::npos || second == std::string::npos) return std::nullopt;
  return static_cast<uid_t>(std::stoul(line->substr(second + 1)));
}

mode_t ModeAfter(const Sandbox& sandbox, const std::string& path) {
  auto st = sandbox.StatAfter(path);
  return st ? st->st_mode & 07777 : 0;
}

mode_t NewFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0664 & ~mask;
}

bool Contains(const Paths& paths, const std::string& path) {
  return std::find(paths.begin(), paths.end(), path) != paths.end();
}

Paths Sorted(Paths paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}
