// The rollback through the real installer: every failure stage, with and
// without the mail part, is made to fail for real in the sandbox, and what
// the run leaves behind is compared whole with what a rollback may leave.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/installer_run.h"
#include "tests/sandbox.h"
#include "tests/transcript.h"

namespace {

using Paths = std::vector<std::string>;

constexpr char kFolder[] = "/usr/local/quorvane";
constexpr char kRootFolder[] = "/var/quorvane";
constexpr char kPortQuestion[] = "Enter tcp port for Quorvane server (Default: ";
constexpr char kNameServerQuestion[] =
    "Enter default value for the Primary Name Server: (Default: ";
constexpr char kTakeover[] = "\nFolder already exist.\nDo you want to overwrite it? ( Y/N ): ";
constexpr char kNoPopusers[] =
    "\npopusers group does not exist\nDo you want to create it? (Y/N): \n";
constexpr char kAddressPrompt[] = "\nEnter IP address of your windows Quorvane machine: ";
constexpr char kLinkOverwrite[] = "Do you want to overwrite it? (Y/N): ";
constexpr char kAddress[] = "192.168.1.20\n";
constexpr char kDanglingConfTarget[] = "/opt/missing/Quorvane.conf";

// With the mail part the groups stay; the user quorvane stays at stage 1.
const Paths kGroupFiles = {"/etc/group", "/etc/gshadow"};
const Paths kUserFiles = {"/etc/passwd", "/etc/shadow", "/etc/subgid", "/etc/subuid"};

std::string In(const std::string& relative) { return std::string(kFolder) + relative; }

Paths Sorted(Paths paths) {
  std::sort(paths.begin(), paths.end());
  return paths;
}

Paths Joined(std::initializer_list<Paths> lists) {
  Paths all;
  for (const Paths& list : lists) all.insert(all.end(), list.begin(), list.end());
  return Sorted(all);
}

// The account tools keep copies of the files they edit ("/etc/passwd-"
// and so on); those are theirs, not the installer's.
bool IsAccountToolCopy(const std::string& path) {
  for (const char* file : {"group", "gshadow", "passwd", "shadow", "subgid", "subuid"})
    if (path == std::string("/etc/") + file + "-") return true;
  return false;
}

Paths WithoutAccountToolCopies(const Paths& paths) {
  Paths kept;
  for (const std::string& path : paths)
    if (!IsAccountToolCopy(path)) kept.push_back(path);
  return kept;
}

// Runs the installer as RunInstaller does, with its standard error joined
// to standard output: the administrator sees both on the console.
RunResult RunOnConsole(Sandbox& sandbox, const std::string& answers, RunOptions options = {}) {
  options.working_dir = DistDir();
  options.stdin_text = answers;
  return sandbox.Run({"/bin/sh", "-c", "exec " + DistDir() + "/qvinstall 2>&1"}, options);
}

std::string AccountLine(const Sandbox& sandbox, const std::string& file, const std::string& name) {
  std::istringstream in(sandbox.ReadAfter(file).value_or(""));
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(name + ":", 0) == 0) return line;
  return "";
}

// The account file as the host has it, without the line of `name`.
std::string WithoutEntry(const Sandbox& sandbox, const std::string& file, const std::string& name) {
  std::istringstream in(sandbox.ReadAfter(file).value_or(""));
  std::string kept, line;
  while (std::getline(in, line))
    if (line.rfind(name + ":", 0) != 0) kept += line + "\n";
  return kept;
}

// --- Answers -------------------------------------------------------------

// Mail question and server dialogue; with the mail part the popusers group
// is created and the default root folder kept.
std::string ServerAnswers(bool mail, bool takeover = false) {
  return std::string(mail ? "y\n" : "n\n") + "\n\n\n" + (takeover ? "Y\n" : "") +
         (mail ? "y\n\n" : "");
}

// BIND menu, name server and the four zone times, all defaults.
constexpr char kDnsAnswers[] = "\n\n\n\n\n\n";

std::string AnswersUpToAddress(bool mail, bool takeover = false) {
  return ServerAnswers(mail, takeover) + kDnsAnswers;
}

// --- Transcript pieces ---------------------------------------------------

std::string Opening() {
  return Line("Extracting the package...") +
         Line("Do you want to install sendmail controller? (Y/N): ") +
         Line("Getting Quorvane server configuration...");
}

std::string ServerQuestions(bool takeover = false) {
  return DefaultPrompt(kPortQuestion, "33333") +
         DefaultPrompt("Enter Auto disconnect time (in seconds) for Quorvane server (Default: ",
                       "30") +
         DefaultPrompt("Enter installation folder for Quorvane server (Default: ", kFolder) +
         (takeover ? kTakeover : "");
}

std::string ServerDialogue(bool mail, bool takeover = false) {
  std::string text = Opening() + ServerQuestions(takeover);
  if (mail)
    text += "Checking popusers group..." + std::string(kNoPopusers) + Line("OK") +
            DefaultPrompt("Enter root folder for Quorvane server (Default: ", kRootFolder);
  return text + Line("Success");
}

std::string DnsOpening() {
  return Line("Getting DNS configuration...") + Line("Which version of BIND you are using?") +
         Line("1.\tBIND 8.*") + Line("2.\tBIND 9.*") + Line("Enter your choice (Default: 2)") +
         "Press Enter for Default: " + Line("\tOK") + Line("") +
         Line("Checking DNS configurationg file...\tOK") +
         Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
         Line("Checking DNS process id file...\t\tOK");
}

std::string DnsDialogue() {
  return DnsOpening() + DefaultPrompt(kNameServerQuestion, "@") +
         DefaultPrompt("Enter default value of Refresh time for DNS: (Default: ", "28800") +
         DefaultPrompt("Enter default value of Retry time for DNS: (Default: ", "7200") +
         DefaultPrompt("Enter default value of Expire time for DNS: (Default: ", "604800") +
         DefaultPrompt("Enter default value of ttl for DNS: (Default: ", "86400") + Line("Success");
}

std::string SendmailOpening() { return Line("Updating sendmail...") + "Checking mail group..."; }

std::string MailStages() {
  return SendmailOpening() + Line("\tOK") + Line("Checking sendmail configurationg file...\tOK") +
         Line("Checking sendmail process id file...\t\tOK") + Line("Success") +
         Line("Updating pop3 server...") + Line("Success");
}

std::string UpToFolders(bool mail, bool takeover = false) {
  return ServerDialogue(mail, takeover) + DnsDialogue() + (mail ? MailStages() : "") +
         Line("Creating required folders...");
}

std::string UpToCopies(bool mail, bool takeover = false) {
  return UpToFolders(mail, takeover) + kAddressPrompt + Line("Success") + Line("Copying files...");
}

std::string RefusedLink(const std::string& name, const std::string& link) {
  return Line("Can't create symbolic link for " + name) + Line(link + " already exist") +
         kLinkOverwrite;
}

std::string Abort(const std::string& error_line, const std::string& error_text) {
  return Line(error_line) + (error_text.empty() ? "" : Line(error_text)) +
         Line("Installation aborted");
}

// --- Hosts ---------------------------------------------------------------

void SeedHost(Sandbox& sandbox, bool mail) {
  if (mail)
    SeedMailHost(sandbox);
  else
    SeedStandardHost(sandbox);
}

void SeedWithoutMailGroup(Sandbox& sandbox) {
  sandbox.Seed("/etc/group", WithoutEntry(sandbox, "/etc/group", "mail"));
  sandbox.Seed("/etc/gshadow", WithoutEntry(sandbox, "/etc/gshadow", "mail"), 0640);
}

// POP3 through inetd: no xinetd entry, an inetd.conf with a POP3 line.
void SeedInetdHost(Sandbox& sandbox) {
  sandbox.SeedRemoved("/etc/xinetd.d/ipop3");
  sandbox.Seed("/etc/inetd.conf",
               "ftp\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tin.ftpd\n"
               "#pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tipop3d\n",
               0600);
}

// --- The table -----------------------------------------------------------

struct RollbackCase {
  std::string name;
  bool mail;
  int stage;
  std::function<void(Sandbox&)> seed;  // on top of the standard or mail host
  std::string answers;
  std::string transcript;
  // The whole change set the rollback may leave behind.
  Paths created, changed, deleted;
};

// The init log always stays: named is restarted (and sendmail, with the
// mail part) before the stages.
Paths Remains(const Paths& more = {}) { return Joined({{kInitLog}, more}); }

// With the mail part from stage 1 on the groups file changed (popusers);
// at stage 1 the user stays as well.
Paths MailChanged(int stage, const Paths& more = {}) {
  return Joined({kGroupFiles, stage == 1 ? kUserFiles : Paths{}, more});
}

std::vector<RollbackCase> Cases() {
  std::vector<RollbackCase> cases;

  // Stage 0. named.conf is not touched, even beside an earlier copy.
  cases.push_back(
      {"Stage0EndOfInputAtThePort",
       false,
       0,
       [](Sandbox& sandbox) {
         sandbox.Seed("/etc/named.conf.qvbackup", "an earlier run's named.conf\n");
       },
       "n\n",
       Opening() + DefaultPrompt(kPortQuestion, "33333") + "\n" +
           Abort("Error while getting Quorvane server configuration", "No data available"),
       Remains(),
       {},
       {}});
  cases.push_back(
      {"Stage0MailPopusersRefused",
       true,
       0,
       // An empty root folder goes even at stage 0, before it was asked for.
       [](Sandbox& sandbox) { sandbox.SeedDir(kRootFolder); },
       "y\n\n\n\nn\n",
       Opening() + ServerQuestions() + "Checking popusers group..." + kNoPopusers +
           Line("Create a popusers group first") +
           Abort("Error while getting Quorvane server configuration", "Operation canceled"),
       Remains(),
       {},
       {kRootFolder}});

  // Stage 1.
  cases.push_back({"Stage1EndOfInputAtTheNameServer",
                   false,
                   1,
                   nullptr,
                   ServerAnswers(false) + "\n",
                   ServerDialogue(false) + DnsOpening() + DefaultPrompt(kNameServerQuestion, "@") +
                       "\n" + Abort("Error while getting DNS configuration", "No data available"),
                   Remains(),
                   {},
                   {}});
  // The user stays at stage 1, and so do the copies an earlier run left.
  cases.push_back(
      {"Stage1MailGroupRefused",
       true,
       1,
       [](Sandbox& sandbox) {
         SeedWithoutMailGroup(sandbox);
         sandbox.Seed("/etc/sendmail.cf.qvbackup", "an earlier run's copy\n");
         sandbox.Seed("/etc/xinetd.d/ipop3.qvbackup", "an earlier entry\n");
         sandbox.Seed("/etc/conf.linuxconf.qvbackup", "an earlier linuxconf\n");
       },
       AnswersUpToAddress(true) + "n\n",
       ServerDialogue(true) + DnsDialogue() + SendmailOpening() +
           Line("mail group does not exist") + "Do you want to create it? (Y/N): " + Line("") +
           Line("Create a mail group first") + Abort("Error while updating sendmail", ""),
       Remains(),
       MailChanged(1),
       {}});
  cases.push_back({"Stage1MailNoPop3Registration",
                   true,
                   1,
                   [](Sandbox& sandbox) {
                     sandbox.SeedRemoved("/etc/xinetd.d/ipop3");
                     sandbox.SeedRemoved("/etc/inetd.conf");
                   },
                   AnswersUpToAddress(true),
                   ServerDialogue(true) + DnsDialogue() + SendmailOpening() + Line("\tOK") +
                       Line("Checking sendmail configurationg file...\tOK") +
                       Line("Checking sendmail process id file...\t\tOK") + Line("Success") +
                       Line("Updating pop3 server...") +
                       Abort("Error while updating pop3 server", "No such file or directory"),
                   Remains(),
                   MailChanged(1),
                   {}});

  // Stage 2.
  cases.push_back({"Stage2EndOfInputAtTheAddress",
                   false,
                   2,
                   nullptr,
                   AnswersUpToAddress(false),
                   UpToFolders(false) + kAddressPrompt + "\n" +
                       Abort("Error while creating required folders", "No data available"),
                   Remains(),
                   {},
                   {}});
  cases.push_back(
      {"Stage2RefusedLibraryLink",
       false,
       2,
       [](Sandbox& sandbox) { sandbox.Seed("/usr/lib/libqvdns-0.1.so", "an older library"); },
       AnswersUpToAddress(false) + kAddress + "n\n",
       UpToCopies(false) + RefusedLink("libqvdns-0.1.so", "/usr/lib/libqvdns-0.1.so") +
           Abort("Error while copying files", "File exists"),
       Remains(),
       {},
       {}});
  // A conf.linuxconf created empty stays.
  cases.push_back({"Stage2MailEndOfInputAtTheAddress",
                   true,
                   2,
                   [](Sandbox& sandbox) { sandbox.SeedRemoved("/etc/conf.linuxconf"); },
                   AnswersUpToAddress(true),
                   UpToFolders(true) + kAddressPrompt + "\n" +
                       Abort("Error while creating required folders", "No data available"),
                   Remains({"/etc/conf.linuxconf"}),
                   MailChanged(2),
                   {}});
  cases.push_back({"Stage2MailNoSpoolFolder",
                   true,
                   2,
                   [](Sandbox& sandbox) { sandbox.SeedRemoved("/var/spool"); },
                   AnswersUpToAddress(true) + kAddress,
                   UpToFolders(true) + kAddressPrompt + Line("No such file or directory") +
                       Abort("Error while creating required folders", "No such file or directory"),
                   Remains(),
                   MailChanged(2),
                   {}});
  // Empty folders that were there before go as written: the root folder
  // and /etc/vmail.
  cases.push_back({"Stage2MailRefusedLibraryLink",
                   true,
                   2,
                   [](Sandbox& sandbox) {
                     sandbox.Seed("/usr/lib/libqvdns-0.1.so", "an older library");
                     sandbox.SeedDir(kRootFolder, 0700);
                     sandbox.SeedDir("/etc/vmail", 0700);
                   },
                   AnswersUpToAddress(true) + kAddress + "n\n",
                   UpToCopies(true) + RefusedLink("libqvdns-0.1.so", "/usr/lib/libqvdns-0.1.so") +
                       Abort("Error while copying files", "File exists"),
                   Remains(),
                   MailChanged(2),
                   {"/etc/vmail", kRootFolder}});

  // Stage 3: the library links stay, the refused command too.
  const Paths library_links = {"/usr/lib/libqvdns-0.1.so", "/usr/lib/libqvsml-0.1.so"};
  const Paths mail_library_links = Joined({library_links, {"/usr/lib/libstdc++-libc6.2-2.so.3"}});
  for (bool mail : {false, true}) {
    cases.push_back({mail ? "Stage3MailRefusedCommandLink" : "Stage3RefusedCommandLink",
                     mail,
                     3,
                     [](Sandbox& sandbox) {
                       sandbox.Seed("/usr/bin/quorvane", "#!/bin/sh\necho older\n", 0755);
                     },
                     AnswersUpToAddress(mail) + kAddress + "n\n",
                     UpToCopies(mail) + RefusedLink("quorvane", "/usr/bin/quorvane") +
                         Abort("Error while copying files", "File exists"),
                     mail ? Remains(mail_library_links) : Remains(library_links),
                     mail ? MailChanged(3) : Paths{},
                     {}});
  }

  // Stage 6: a configuration file path that cannot be written. The mail
  // run goes through inetd, so that inetd.conf is put back too.
  for (bool mail : {false, true}) {
    cases.push_back(
        {mail ? "Stage6MailConfigurationFileUnwritable" : "Stage6ConfigurationFileUnwritable",
         mail,
         6,
         [mail](Sandbox& sandbox) {
           sandbox.SeedSymlink("/etc/Quorvane.conf", kDanglingConfTarget);
           if (mail) SeedInetdHost(sandbox);
         },
         AnswersUpToAddress(mail) + kAddress,
         UpToCopies(mail) + Line("Success") + Line("Creating configuration file...") +
             Abort("Error while creating configuration file", "No such file or directory"),
         mail ? Remains(mail_library_links) : Remains(library_links),
         mail ? MailChanged(6) : Paths{},
         {}});
  }
  return cases;
}

void PrintTo(const RollbackCase& c, std::ostream* out) { *out << c.name; }

class RollbackTableScenarioTest : public testing::TestWithParam<RollbackCase> {};

TEST_P(RollbackTableScenarioTest, LeavesOnlyWhatTheTableAllows) {
  const RollbackCase& c = GetParam();
  Sandbox sandbox;
  SeedHost(sandbox, c.mail);
  if (c.seed) c.seed(sandbox);
  const std::string named_conf = *sandbox.ReadAfter("/etc/named.conf");

  RunResult run = RunOnConsole(sandbox, c.answers);

  EXPECT_TRUE(SameTranscript(c.transcript, run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.created), c.created) << run.changes.ToString();
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.changed), c.changed) << run.changes.ToString();
  EXPECT_EQ(run.changes.deleted, Sorted(c.deleted)) << run.changes.ToString();
  // The change set ignores times; the files the rollback put back must
  // also hold what they held.
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf"), named_conf);
  EXPECT_FALSE(sandbox.StatAfter("/QVInstallation"));
  // The system user, made at stage 0, stays only after a failure at stage 1.
  EXPECT_EQ(AccountLine(sandbox, "/etc/passwd", "quorvane").empty(), !(c.mail && c.stage == 1));
}

INSTANTIATE_TEST_SUITE_P(EveryStage, RollbackTableScenarioTest, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<RollbackCase>& info) {
                           return info.param.name;
                         });

mode_t ModeAfter(const Sandbox& sandbox, const std::string& path) {
  auto st = sandbox.StatAfter(path);
  return st ? st->st_mode & 07777 : 0;
}

// An installation folder taken over with "Y" keeps what it held, and its
// modes, whichever later stage fails.
TEST(RollbackScenarioTest, TakenOverFolderKeepsItsOwnFilesAndModes) {
  struct Failure {
    int stage;
    std::function<void(Sandbox&)> seed;
    std::string answers_after_folders;
    std::string transcript_after_copying;
    Paths remains;
  };
  const Paths links = {"/usr/lib/libqvdns-0.1.so", "/usr/lib/libqvsml-0.1.so"};
  const std::vector<Failure> failures = {
      {2, nullptr, "", "", Remains()},
      {3, [](Sandbox& sandbox) { sandbox.Seed("/usr/bin/quorvane", "older command", 0755); },
       std::string(kAddress) + "n\n",
       RefusedLink("quorvane", "/usr/bin/quorvane") +
           Abort("Error while copying files", "File exists"),
       Remains(links)},
      {6, [](Sandbox& sandbox) { sandbox.SeedSymlink("/etc/Quorvane.conf", kDanglingConfTarget); },
       kAddress,
       Line("Success") + Line("Creating configuration file...") +
           Abort("Error while creating configuration file", "No such file or directory"),
       Remains(links)},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE("stage " + std::to_string(failure.stage));
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    sandbox.SeedDir(kFolder, 0700);
    sandbox.Seed(In("/notes.txt"), "the administrator's notes\n", 0600);
    sandbox.SeedDir(In("/etc"), 0750);
    sandbox.Seed(In("/etc/own.conf"), "kept\n", 0640);
    sandbox.SeedDir(In("/log"), 0711);
    sandbox.Seed(In("/log/old.log"), "an old log\n");
    if (failure.seed) failure.seed(sandbox);

    RunResult run =
        RunOnConsole(sandbox, AnswersUpToAddress(false, true) + failure.answers_after_folders);

    const std::string transcript =
        failure.stage == 2 ? UpToFolders(false, true) + kAddressPrompt + "\n" +
                                 Abort("Error while creating required folders", "No data available")
                           : UpToCopies(false, true) + failure.transcript_after_copying;
    EXPECT_TRUE(SameTranscript(transcript, run.output));
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.changes.created, failure.remains) << run.changes.ToString();
    EXPECT_EQ(run.changes.changed, Paths{}) << run.changes.ToString();
    EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
    EXPECT_EQ(ModeAfter(sandbox, kFolder), 0700u);
    EXPECT_EQ(ModeAfter(sandbox, In("/etc")), 0750u);
    EXPECT_EQ(ModeAfter(sandbox, In("/log")), 0711u);
    EXPECT_EQ(sandbox.ReadAfter(In("/etc/own.conf")), "kept\n");
  }
}

// Files the run only copies (named.conf, conf.linuxconf) keep their owner,
// their mode and, for a link, the link itself: named must still read its
// configuration after a rollback.
TEST(RollbackScenarioTest, FilesOnlyCopiedKeepOwnerModeAndLink) {
  constexpr gid_t kNamedGroup = 25;
  constexpr char kChrootedConf[] = "/var/named/chroot/etc/named.conf";
  for (bool as_link : {false, true}) {
    SCOPED_TRACE(as_link ? "named.conf a link" : "named.conf a file");
    Sandbox sandbox;
    SeedMailHost(sandbox);
    const std::string named_conf = *sandbox.ReadAfter("/etc/named.conf");
    const std::string named_path = as_link ? kChrootedConf : "/etc/named.conf";
    sandbox.Seed(named_path, named_conf, 0640);
    ASSERT_TRUE(sandbox.SeedOwner(named_path, 0, kNamedGroup));
    if (as_link) sandbox.SeedSymlink("/etc/named.conf", kChrootedConf);
    const std::string linuxconf = *sandbox.ReadAfter("/etc/conf.linuxconf");
    sandbox.Seed("/etc/conf.linuxconf", linuxconf, 0600);
    sandbox.SeedRemoved("/etc/xinetd.d/ipop3");  // stage 1, after conf.linuxconf's copy

    RunResult run = RunOnConsole(sandbox, AnswersUpToAddress(true));

    EXPECT_EQ(run.exit_status, 1) << run.output;
    EXPECT_EQ(WithoutAccountToolCopies(run.changes.created), Remains()) << run.changes.ToString();
    EXPECT_EQ(WithoutAccountToolCopies(run.changes.changed), MailChanged(1))
        << run.changes.ToString();
    EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
    if (as_link) {
      EXPECT_EQ(sandbox.LinkTargetAfter("/etc/named.conf"), kChrootedConf);
    }
    auto st = sandbox.StatAfter(named_path);
    ASSERT_TRUE(st);
    EXPECT_EQ(st->st_gid, kNamedGroup);
    EXPECT_EQ(st->st_mode & 07777, 0640u);
    EXPECT_EQ(ModeAfter(sandbox, "/etc/conf.linuxconf"), 0600u);
  }
}

// Files the run replaced come back as they were, a link as a link.
TEST(RollbackScenarioTest, ReplacedFilesComeBackWithOwnerModeAndLink) {
  constexpr gid_t kMailGroup = 8;
  Sandbox sandbox;
  SeedMailHost(sandbox);
  const std::string sendmail_cf = *sandbox.ReadAfter("/etc/sendmail.cf");
  sandbox.Seed("/etc/mail/sendmail.cf", sendmail_cf, 0640);
  ASSERT_TRUE(sandbox.SeedOwner("/etc/mail/sendmail.cf", 0, kMailGroup));
  sandbox.SeedSymlink("/etc/sendmail.cf", "/etc/mail/sendmail.cf");
  const std::string entry = *sandbox.ReadAfter("/etc/xinetd.d/ipop3");
  sandbox.Seed("/etc/xinetd.d/ipop3", entry, 0600);
  ASSERT_TRUE(sandbox.SeedOwner("/etc/xinetd.d/ipop3", 0, kMailGroup));

  RunResult run = RunOnConsole(sandbox, AnswersUpToAddress(true));

  EXPECT_TRUE(
      SameTranscript(UpToFolders(true) + kAddressPrompt + "\n" +
                         Abort("Error while creating required folders", "No data available"),
                     run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(sandbox.LinkTargetAfter("/etc/sendmail.cf"), "/etc/mail/sendmail.cf");
  EXPECT_EQ(sandbox.ReadAfter("/etc/mail/sendmail.cf"), sendmail_cf);
  auto st = sandbox.StatAfter("/etc/xinetd.d/ipop3");
  ASSERT_TRUE(st);
  EXPECT_EQ(st->st_mode & 07777, 0600u);
  EXPECT_EQ(st->st_gid, kMailGroup);
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.created), Remains()) << run.changes.ToString();
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.changed), MailChanged(2))
      << run.changes.ToString();
  EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
}

// Backup copies an earlier run left beside files this run never edited
// stay, with their live files, while this run's copies go back.
TEST(RollbackScenarioTest, EarlierBackupsStayWhileThisRunsCopiesGoBack) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  // POP3 goes through xinetd; inetd.conf and its older copy are not this run's.
  sandbox.Seed("/etc/inetd.conf", "pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tipop3d\n");
  sandbox.Seed("/etc/inetd.conf.qvbackup", "an earlier run's inetd.conf\n");
  sandbox.Seed("/etc/named.conf.qvbackup", "an earlier run's named.conf\n");
  sandbox.Seed("/usr/bin/quorvane", "older command", 0755);
  const std::string named_conf = *sandbox.ReadAfter("/etc/named.conf");
  const std::string sendmail_cf = *sandbox.ReadAfter("/etc/sendmail.cf");
  const std::string ipop3 = *sandbox.ReadAfter("/etc/xinetd.d/ipop3");

  RunResult run = RunOnConsole(sandbox, AnswersUpToAddress(true) + kAddress + "n\n");

  EXPECT_TRUE(SameTranscript(UpToCopies(true) + RefusedLink("quorvane", "/usr/bin/quorvane") +
                                 Abort("Error while copying files", "File exists"),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  // This run's copy of named.conf replaced the earlier one and went back.
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf"), named_conf);
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), sendmail_cf);
  EXPECT_EQ(sandbox.ReadAfter("/etc/xinetd.d/ipop3"), ipop3);
  EXPECT_EQ(sandbox.ReadAfter("/etc/inetd.conf.qvbackup"), "an earlier run's inetd.conf\n");
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.created),
            Remains({"/usr/lib/libqvdns-0.1.so", "/usr/lib/libqvsml-0.1.so",
                     "/usr/lib/libstdc++-libc6.2-2.so.3"}))
      << run.changes.ToString();
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.changed), MailChanged(3))
      << run.changes.ToString();
  EXPECT_EQ(run.changes.deleted, Paths{"/etc/named.conf.qvbackup"}) << run.changes.ToString();
}

// A user quorvane the host had before the run goes too, from stage 2 on.
TEST(RollbackScenarioTest, PreexistingSystemUserIsDeletedFromStageTwo) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  sandbox.Seed("/etc/group",
               WithoutEntry(sandbox, "/etc/group", "popusers") + "popusers:x:4242:\n");
  sandbox.Seed("/etc/passwd", *sandbox.ReadAfter("/etc/passwd") +
                                  "quorvane:x:4243:4242::/var/quorvane:/bin/false\n");
  sandbox.Seed("/etc/shadow", *sandbox.ReadAfter("/etc/shadow") + "quorvane:!:19000::::::\n", 0640);
  const std::string group = *sandbox.ReadAfter("/etc/group");

  RunResult run = RunOnConsole(sandbox, "y\n\n\n\n\n" + std::string(kDnsAnswers));

  const std::string server =
      Opening() + ServerQuestions() + Line("Checking popusers group...OK") +
      DefaultPrompt("Enter root folder for Quorvane server (Default: ", kRootFolder) +
      Line("Success");
  EXPECT_TRUE(
      SameTranscript(server + DnsDialogue() + MailStages() + Line("Creating required folders...") +
                         kAddressPrompt + "\n" +
                         Abort("Error while creating required folders", "No data available"),
                     run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(AccountLine(sandbox, "/etc/passwd", "quorvane"), "");
  EXPECT_EQ(AccountLine(sandbox, "/etc/shadow", "quorvane"), "");
  EXPECT_EQ(sandbox.ReadAfter("/etc/group"), group);
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.changed), (Paths{"/etc/passwd", "/etc/shadow"}))
      << run.changes.ToString();
}

// The account tool fails to delete the user: the rollback says so and goes on.
TEST(RollbackScenarioTest, UserThatCannotBeDeletedIsReported) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  sandbox.Seed("/usr/sbin/userdel", "#!/bin/sh\nexit 1\n", 0755);
  sandbox.Seed("/usr/lib/libqvdns-0.1.so", "an older library");

  RunResult run = RunOnConsole(sandbox, AnswersUpToAddress(true) + kAddress + "n\n");

  EXPECT_TRUE(
      SameTranscript(UpToCopies(true) + RefusedLink("libqvdns-0.1.so", "/usr/lib/libqvdns-0.1.so") +
                         Abort("Error while copying files", "File exists") +
                         Line("Can't delete quorvane system user") + Line("Delete it manually"),
                     run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(AccountLine(sandbox, "/etc/passwd", "quorvane"), "");
  // The steps after the user still ran.
  EXPECT_FALSE(sandbox.StatAfter("/etc/vmail"));
  EXPECT_FALSE(sandbox.StatAfter("/var/spool/vmail"));
  EXPECT_FALSE(sandbox.StatAfter(kFolder));
}

}  // namespace
