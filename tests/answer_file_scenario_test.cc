// Answers by name: an answer file installs as the same answers typed at a
// terminal do, with the same transcript and the same changes; where typed
// answers would be waited for or asked again, the run fails at once naming
// the key; a file that does not serve is refused before anything is touched.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/mail_daemons.h"
#include "tests/transcript.h"

namespace {

constexpr char kAnswerFile[] = "/root/qvinstall.answers";
constexpr char kAddress[] = "192.168.1.20";
// The BIND menu, the name server and the four zone times, all defaults.
const std::vector<std::string> kDnsDefaults = {"", "", "", "", "", ""};

using Seeding = std::function<void(Sandbox&)>;

// named's configuration where Debian keeps it, and none where the installer
// looks first.
void SeedBindLayout(Sandbox& sandbox) {
  sandbox.SeedInitScripts();
  sandbox.SeedRemoved("/etc/named.conf");
  sandbox.Seed("/etc/bind/named.conf", "include \"/etc/bind/named.conf.options\";\n");
  sandbox.Seed("/var/run/named/named.pid", "1234\n");
}

void SeedFolderAndCommandInTheWay(Sandbox& sandbox) {
  SeedStandardHost(sandbox);
  sandbox.SeedDir(kDefaultInstallationFolder, 0755);
  sandbox.SeedSymlink("/usr/bin/quorvane", "/opt/old/quorvane");
}

// `parts` joined into one list of answers.
std::vector<std::string> Answers(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> answers;
  for (const auto& part : parts) answers.insert(answers.end(), part.begin(), part.end());
  return answers;
}

RunResult RunWithAnswerFile(Sandbox& sandbox, const std::string& file_text) {
  sandbox.Seed(kAnswerFile, file_text, 0600);
  // Whatever waits on standard input must not be read.
  return RunInstallerWith(sandbox, {"--answers", kAnswerFile}, "y\ny\ny\ny\n");
}

struct SameAsTypedCase {
  const char* name;
  Seeding seed;
  std::vector<std::string> typed;
  const char* file;
};

TEST(AnswerFileScenarioTest, InstallsAsTheSameAnswersTypedDo) {
  const SameAsTypedCase kCases[] = {
      {"defaults without the mail part", SeedStandardHost,
       Answers({{"n", "", "", ""}, kDnsDefaults, {kAddress, "y"}}),
       "# every default\n"
       "mail = n\n"
       "windows_address = 192.168.1.20\n"
       "start = y\n"},
      {"every key without the mail part",
       SeedStandardHost,
       {"n", "4000", "60", "/opt/qv", "1", "ns1.example.test.", "3600", "600", "86400", "300",
        "10.0.0.9", "n"},
       "mail = n\n"
       "port = 4000\n"
       "disconnect_time = 60\n"
       "folder = /opt/qv\n"
       "bind = 1\n"
       "named_conf = /etc/named.conf\n"
       "named_pid = /var/run/named/named.pid\n"
       "ns1 = ns1.example.test.\n"
       "refresh = 3600\n"
       "retry = 600\n"
       "expire = 86400\n"
       "ttl = 300\n"
       "windows_address = 10.0.0.9\n"
       "start = n\n"
       "# asked only on other hosts, or with the mail part\n"
       "overwrite_folder = n\n"
       "create_popusers = n\n"
       "root_folder = /srv/qv\n"
       "create_mail_group = n\n"
       "sendmail_cf = /etc/mail/sendmail.cf\n"
       "sendmail_pid = /run/sendmail/mta/sendmail.pid\n"
       "overwrite_libqvdns = n\n"
       "overwrite_libqvsml = n\n"
       "overwrite_quorvane = n\n"},
      {"named.conf where Debian keeps it", SeedBindLayout,
       Answers({{"n", "", "", "", "", "n", "/etc/bind/named.conf"},
                {"", "", "", "", ""},
                {kAddress, ""}}),
       "mail = n\n"
       "named_conf = /etc/bind/named.conf\n"
       "named_pid = /var/run/named/named.pid\n"
       "windows_address = 192.168.1.20\n"},
      {"a folder to take over and a command in the way", SeedFolderAndCommandInTheWay,
       Answers({{"n", "", "", "", "Y"}, kDnsDefaults, {kAddress, "y", "n"}}),
       "mail = n\n"
       "overwrite_folder = Y\n"
       "windows_address = 192.168.1.20\n"
       "overwrite_quorvane = y\n"
       "start = n\n"},
      {"the mail part, creating the popusers group", SeedMailHost,
       Answers({{"y", "", "", "", "y", ""}, kDnsDefaults, {kAddress, "y"}}),
       "mail = y\n"
       "create_popusers = y\n"
       "sendmail_cf = /etc/sendmail.cf\n"
       "sendmail_pid = /var/run/sendmail.pid\n"
       "windows_address = 192.168.1.20\n"
       "start = y\n"},
  };
  for (const SameAsTypedCase& c : kCases) {
    SCOPED_TRACE(c.name);
    Sandbox typing, answering;
    c.seed(typing);
    c.seed(answering);
    RunResult typed = RunTyped(typing, c.typed);
    RunResult answered = RunWithAnswerFile(answering, c.file);

    EXPECT_EQ(typed.exit_status, 0) << typed.output;
    EXPECT_EQ(answered.exit_status, 0);
    EXPECT_TRUE(SameTranscript(typed.output, answered.output));
    EXPECT_EQ(answered.changes.ToString(), typed.changes.ToString());
    EXPECT_EQ(answering.ReadAfter("/etc/Quorvane.conf"), typing.ReadAfter("/etc/Quorvane.conf"));
  }
}

// The README's answer file for a host as Debian 12 ships it, as an
// administrator copies it: the fenced block after the line that brings it.
std::string ReadmeDebianAnswerFile() {
  std::ifstream in(QV_SOURCE_DIR "/README.md");
  std::stringstream readme;
  readme << in.rdbuf();
  const std::string text = readme.str();
  const size_t intro = text.find("\nFor a host as Debian 12 ships it");
  const std::string fence = "```\n";
  const size_t start = text.find(fence, intro);
  if (intro == std::string::npos || start == std::string::npos) return "";
  const size_t end = text.find(fence, start + fence.size());
  return text.substr(start + fence.size(), end - start - fence.size());
}

// `text` with its first `from` made `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The change set without what the host's daemons write as they run (pid
// files, sockets, named's journal): that comes when a daemon gets to it,
// not with the installer's steps.
std::string WithoutDaemonState(const ChangeSet& changes) {
  std::string kept;
  std::istringstream lines(changes.ToString());
  for (std::string line; std::getline(lines, line);) {
    const std::string path = line.substr(line.find('/'));
    if (path.starts_with("/run/") || path.starts_with("/var/cache/bind/")) continue;
    kept += line + "\n";
  }
  return kept;
}

struct StockDebianCase {
  const char* name;
  std::string file;
  std::vector<std::string> typed;
};

// On Debian's own packages the installer finds every file by itself and asks
// nothing about them, so the typed answers are those of the layout it was
// written for.
TEST(AnswerFileScenarioTest, InstallsOnStockDebianAsTheSameAnswersTypedDo) {
  const std::string readme_file = ReadmeDebianAnswerFile();
  ASSERT_NE(readme_file.find("mail = y\n"), std::string::npos) << readme_file;
  const StockDebianCase kCases[] = {
      {"with the mail part", readme_file,
       Answers({{"y", "", "", "", "y", ""}, kDnsDefaults, {kAddress, "y"}})},
      // The README: "write mail = n", the mail part's keys kept and not asked.
      {"without the mail part", Replaced(readme_file, "mail = y\n", "mail = n\n"),
       Answers({{"n", "", "", ""}, kDnsDefaults, {kAddress, "y"}})},
  };
  for (const StockDebianCase& c : kCases) {
    SCOPED_TRACE(c.name);
    Sandbox typing, answering;
    std::string err;
    for (Sandbox* sandbox : {&typing, &answering}) {
      if (!AddStockHostLayers(*sandbox, SuperServer::kXinetd, &err)) GTEST_SKIP() << err;
      // sendmail waits a minute for a host name that is not fully qualified.
      sandbox->Seed("/etc/hosts", "127.0.0.1\tlocalhost\n127.0.1.1\tqvhost.example.test qvhost\n");
    }
    RunResult typed = RunTyped(typing, c.typed);
    RunResult answered = RunWithAnswerFile(answering, c.file);

    EXPECT_EQ(typed.exit_status, 0) << typed.output;
    EXPECT_EQ(answered.exit_status, 0);
    EXPECT_TRUE(SameTranscript(typed.output, answered.output));
    EXPECT_EQ(WithoutDaemonState(answered.changes), WithoutDaemonState(typed.changes));
    // The file names named's pid file as bind9 does and sendmail's as its
    // sendmail.cf does; asking nothing, the typed run keeps the paths the
    // installer found, the same files by other names.
    std::string typed_conf = typing.ReadAfter("/etc/Quorvane.conf").value_or("");
    typed_conf = Replaced(typed_conf, "NamedPIDFile \"/var/run/named/named.pid\"",
                          "NamedPIDFile \"/run/named/named.pid\"");
    typed_conf = Replaced(typed_conf, "SendMailPIDFile \"/run/sendmail/mta/sendmail.pid\"",
                          "SendMailPIDFile \"/var/run/sendmail/mta/sendmail.pid\"");
    EXPECT_EQ(answering.ReadAfter("/etc/Quorvane.conf"), typed_conf);
  }
}

struct FailureCase {
  const char* name;
  Seeding seed;
  const char* file;
  // Typed answers that end where the file fails: their run must leave the
  // host as the failed one does, rollback included.
  std::vector<std::string> typed;
  std::string ending;  // how the transcript ends
};

TEST(AnswerFileScenarioTest, MissingOrRefusedAnswerFailsAtOnceNamingTheKey) {
  const std::string port = DefaultPrompt(kPortQuestion, "33333");
  const FailureCase kCases[] = {
      {"no address", SeedStandardHost, "mail = n\n", Answers({{"n", "", "", ""}, kDnsDefaults}),
       kAddressPrompt + Line("") + Line("The answer file has no answer for windows_address.") +
           Abort("Error while creating required folders", "No data available")},
      {"port 70000",
       SeedStandardHost,
       "mail = n\nport = 70000\nwindows_address = 10.0.0.9\n",
       {"n", "70000"},
       port + Line("70000") + "\nIlleagle value." + port + Line("") +
           Line("The answer file's answer for port was refused.") +
           Abort("Error while getting Quorvane server configuration", "Invalid argument")},
      {"no mail answer",
       SeedStandardHost,
       "windows_address = 10.0.0.9\n",
       {},
       kMailQuestion + Line("") + Line("The answer file has no answer for mail.") +
           Line("Installation aborted")},
      {"a word for the mail question",
       SeedStandardHost,
       "mail = maybe\n",
       {"maybe"},
       Line("maybe") + Line("") + Line("Illeagle value. Only give 'Y' or 'N'") + kMailQuestion +
           Line("") + Line("The answer file's answer for mail was refused.") +
           Line("Installation aborted")},
      {"no answer to creating the popusers group",
       SeedMailHost,
       "mail = y\nwindows_address = 10.0.0.9\n",
       {"y", "", "", ""},
       Line("Checking popusers group...") + Line("popusers group does not exist") +
           "Do you want to create it? (Y/N): " + Line("") +
           Line("The answer file has no answer for create_popusers.") +
           Abort("Error while getting Quorvane server configuration", "No data available")},
      {"no answer to the command in the way", SeedFolderAndCommandInTheWay,
       "mail = n\noverwrite_folder = y\nwindows_address = 10.0.0.9\n",
       Answers({{"n", "", "", "", "y"}, kDnsDefaults, {"10.0.0.9"}}),
       LinkInTheWay("quorvane", "/usr/bin/quorvane") + Line("") +
           Line("The answer file has no answer for overwrite_quorvane.") +
           Abort("Error while copying files", "File exists")},
  };
  for (const FailureCase& c : kCases) {
    SCOPED_TRACE(c.name);
    Sandbox typing, answering;
    c.seed(typing);
    c.seed(answering);
    RunResult typed = RunTyped(typing, c.typed);
    RunResult answered = RunWithAnswerFile(answering, c.file);

    EXPECT_EQ(answered.exit_status, 1);
    EXPECT_TRUE(answered.output.ends_with(c.ending)) << answered.output;
    EXPECT_EQ(answered.changes.ToString(), typed.changes.ToString());
  }
}

TEST(AnswerFileScenarioTest, FileThatDoesNotServeIsRefusedBeforeAnythingIsTouched) {
  struct Case {
    const char* name;
    const char* file;  // nullptr: there is none
    std::string line;
  };
  const std::string name = kAnswerFile;
  const Case kCases[] = {
      {"unknown key", "mail = n\nwindows_adress = 10.0.0.9\n",
       name + ":2: unknown key windows_adress"},
      {"malformed line", "mail = n\n\nport 4000\n",
       name + ":3: not a line of the form key = value"},
      {"key twice", "mail = n\nmail = y\n", name + ":2: mail is given twice"},
      {"no file", nullptr, "can't open " + name + ": No such file or directory"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    sandbox.Seed(std::string(kWorkingFolder) + "/left-by-an-earlier-run", "old\n");
    if (c.file) sandbox.Seed(kAnswerFile, c.file, 0600);
    RunResult run = RunInstallerWith(sandbox, {"-a", kAnswerFile}, "n\n");
    EXPECT_EQ(run.output, Line(c.line));
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(run.changes.empty()) << run.changes.ToString();
  }
}

}  // namespace
