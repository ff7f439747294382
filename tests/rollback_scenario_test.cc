// The rollback through the real installer: every failure stage, with and
// without the mail part, is made to fail for real in the sandbox, and what
// the run leaves behind is compared whole with what a rollback may leave.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

constexpr char kDanglingConfTarget[] = "/opt/missing/Quorvane.conf";

// With the mail part the groups stay; the user quorvane stays at stage 1.
const Paths kGroupFiles = {"/etc/group", "/etc/gshadow"};
const Paths kUserFiles = {"/etc/passwd", "/etc/shadow", "/etc/subgid", "/etc/subuid"};

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

// The address prompt met by the end of input, and the folder stage's failure.
std::string AddressUnanswered() {
  return kAddressPrompt + std::string("\n") +
         Abort("Error while creating required folders", "No data available");
}

// The configuration file stage refusing the dangling link planted at its path.
std::string ConfLinkRefused() {
  return Line(
             "won't write through the link /etc/Quorvane.conf: Too many levels of symbolic links") +
         Abort("Error while creating configuration file", "Too many levels of symbolic links");
}

// SeedMailHost has no popusers group: the mail runs here create it.
MailPart MailPartOf(bool mail) { return mail ? MailPart::kCreatingGroup : MailPart::kNone; }

// --- Hosts ---------------------------------------------------------------

void SeedHost(Sandbox& sandbox, bool mail) {
  if (mail)
    SeedMailHost(sandbox);
  else
    SeedStandardHost(sandbox);
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
       // A root folder the host had stays, even empty.
       [](Sandbox& sandbox) { sandbox.SeedDir(kDefaultRootFolder); },
       "y\n\n\n\nn\n",
       Opening() + ServerQuestions() + "Checking popusers group..." + kPopusersQuestion +
           Line("Create a popusers group first") +
           Abort("Error while getting Quorvane server configuration", "Operation canceled"),
       Remains(),
       {},
       {}});

  // Stage 1.
  cases.push_back({"Stage1EndOfInputAtTheNameServer",
                   false,
                   1,
                   nullptr,
                   ServerAnswers(MailPart::kNone) + "\n",
                   Opening() + ServerDialogue() + DnsOpening() +
                       DefaultPrompt(kNameServerQuestion, "@") + "\n" +
                       Abort("Error while getting DNS configuration", "No data available"),
                   Remains(),
                   {},
                   {}});
  // The user stays at stage 1, and so do the copies an earlier run left.
  cases.push_back({"Stage1MailGroupRefused",
                   true,
                   1,
                   [](Sandbox& sandbox) {
                     SeedWithoutMailGroup(sandbox);
                     sandbox.Seed("/etc/sendmail.cf.qvbackup", "an earlier run's copy\n");
                     sandbox.Seed("/etc/xinetd.d/ipop3.qvbackup", "an earlier entry\n");
                     sandbox.Seed("/etc/conf.linuxconf.qvbackup", "an earlier linuxconf\n");
                   },
                   AnswersUpToAddress(MailPart::kCreatingGroup) + "n\n",
                   UpToSendmail(MailPart::kCreatingGroup) + "Checking mail group..." +
                       kMailGroupQuestion + Line("") + Line("Create a mail group first") +
                       Abort("Error while updating sendmail", ""),
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
                   AnswersUpToAddress(MailPart::kCreatingGroup),
                   UpToSendmail(MailPart::kCreatingGroup) + SendmailChecks() + Line("Success") +
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
                   AnswersUpToAddress(),
                   UpToFolders() + AddressUnanswered(),
                   Remains(),
                   {},
                   {}});
  cases.push_back(
      {"Stage2RefusedLibraryLink",
       false,
       2,
       [](Sandbox& sandbox) { sandbox.Seed("/usr/lib/libqvdns-0.1.so", "an older library"); },
       AnswersUpToAddress() + kAddress + "n\n",
       UpToCopies() + LinkInTheWay("libqvdns-0.1.so", "/usr/lib/libqvdns-0.1.so") +
           Abort("Error while copying files", "File exists"),
       Remains(),
       {},
       {}});
  // A conf.linuxconf created empty stays.
  cases.push_back({"Stage2MailEndOfInputAtTheAddress",
                   true,
                   2,
                   [](Sandbox& sandbox) { sandbox.SeedRemoved("/etc/conf.linuxconf"); },
                   AnswersUpToAddress(MailPart::kCreatingGroup),
                   UpToFolders(MailPart::kCreatingGroup) + AddressUnanswered(),
                   Remains({"/etc/conf.linuxconf"}),
                   MailChanged(2),
                   {}});
  cases.push_back({"Stage2MailNoSpoolFolder",
                   true,
                   2,
                   [](Sandbox& sandbox) { sandbox.SeedRemoved("/var/spool"); },
                   AnswersUpToAddress(MailPart::kCreatingGroup) + kAddress,
                   UpToFolders(MailPart::kCreatingGroup) + kAddressPrompt +
                       Line("No such file or directory") +
                       Abort("Error while creating required folders", "No such file or directory"),
                   Remains(),
                   MailChanged(2),
                   {}});
  // Empty folders that were there before stay: the root folder (given back
  // to its owner) and /etc/vmail.
  cases.push_back({"Stage2MailRefusedLibraryLink",
                   true,
                   2,
                   [](Sandbox& sandbox) {
                     sandbox.Seed("/usr/lib/libqvdns-0.1.so", "an older library");
                     sandbox.SeedDir(kDefaultRootFolder, 0700);
                     sandbox.SeedDir("/etc/vmail", 0700);
                   },
                   AnswersUpToAddress(MailPart::kCreatingGroup) + kAddress + "n\n",
                   UpToCopies(MailPart::kCreatingGroup) +
                       LinkInTheWay("libqvdns-0.1.so", "/usr/lib/libqvdns-0.1.so") +
                       Abort("Error while copying files", "File exists"),
                   Remains(),
                   MailChanged(2),
                   {}});

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
                     AnswersUpToAddress(MailPartOf(mail)) + kAddress + "n\n",
                     UpToCopies(MailPartOf(mail)) + LinkInTheWay("quorvane", "/usr/bin/quorvane") +
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
         AnswersUpToAddress(MailPartOf(mail)) + kAddress,
         UpToCopies(MailPartOf(mail)) + Line("Success") + Line("Creating configuration file...") +
             ConfLinkRefused(),
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
  EXPECT_FALSE(sandbox.StatAfter(kWorkingFolder));
  // The system user, made at stage 0, stays only after a failure at stage 1.
  EXPECT_EQ(AccountLine(sandbox, "/etc/passwd", "quorvane").has_value(), c.mail && c.stage == 1);
}

INSTANTIATE_TEST_SUITE_P(EveryStage, RollbackTableScenarioTest, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<RollbackCase>& info) {
                           return info.param.name;
                         });

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
       LinkInTheWay("quorvane", "/usr/bin/quorvane") +
           Abort("Error while copying files", "File exists"),
       Remains(links)},
      {6, [](Sandbox& sandbox) { sandbox.SeedSymlink("/etc/Quorvane.conf", kDanglingConfTarget); },
       kAddress, Line("Success") + Line("Creating configuration file...") + ConfLinkRefused(),
       Remains(links)},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE("stage " + std::to_string(failure.stage));
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    sandbox.SeedDir(kDefaultInstallationFolder, 0700);
    sandbox.Seed(InFolder("/notes.txt"), "the administrator's notes\n", 0600);
    sandbox.SeedDir(InFolder("/etc"), 0750);
    sandbox.Seed(InFolder("/etc/own.conf"), "kept\n", 0640);
    sandbox.SeedDir(InFolder("/log"), 0711);
    sandbox.Seed(InFolder("/log/old.log"), "an old log\n");
    if (failure.seed) failure.seed(sandbox);

    RunResult run = RunOnConsole(sandbox, AnswersUpToAddress(MailPart::kNone, /*takeover=*/true) +
                                              failure.answers_after_folders);

    const std::string transcript =
        failure.stage == 2
            ? UpToFolders(MailPart::kNone, /*takeover=*/true) + AddressUnanswered()
            : UpToCopies(MailPart::kNone, /*takeover=*/true) + failure.transcript_after_copying;
    EXPECT_TRUE(SameTranscript(transcript, run.output));
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.changes.created, failure.remains) << run.changes.ToString();
    EXPECT_EQ(run.changes.changed, Paths{}) << run.changes.ToString();
    EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
    EXPECT_EQ(ModeAfter(sandbox, kDefaultInstallationFolder), 0700u);
    EXPECT_EQ(ModeAfter(sandbox, InFolder("/etc")), 0750u);
    EXPECT_EQ(ModeAfter(sandbox, InFolder("/log")), 0711u);
    EXPECT_EQ(sandbox.ReadAfter(InFolder("/etc/own.conf")), "kept\n");
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

    RunResult run = RunOnConsole(sandbox, AnswersUpToAddress(MailPart::kCreatingGroup));

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

  RunResult run = RunOnConsole(sandbox, AnswersUpToAddress(MailPart::kCreatingGroup));

  EXPECT_TRUE(
      SameTranscript(UpToFolders(MailPart::kCreatingGroup) + AddressUnanswered(), run.output));
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

  RunResult run =
      RunOnConsole(sandbox, AnswersUpToAddress(MailPart::kCreatingGroup) + kAddress + "n\n");

  EXPECT_TRUE(SameTranscript(UpToCopies(MailPart::kCreatingGroup) +
                                 LinkInTheWay("quorvane", "/usr/bin/quorvane") +
                                 Abort("Error while copying files", "File exists"),
                             run.output));
  EXPECT_EQ(run.exit_status, 1);
  // This run's copy of named.conf went; the earlier one has its name back.
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf"), named_conf);
  EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), sendmail_cf);
  EXPECT_EQ(sandbox.ReadAfter("/etc/xinetd.d/ipop3"), ipop3);
  EXPECT_EQ(sandbox.ReadAfter("/etc/inetd.conf.qvbackup"), "an earlier run's inetd.conf\n");
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf.qvbackup"), "an earlier run's named.conf\n");
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.created),
            Remains({"/usr/lib/libqvdns-0.1.so", "/usr/lib/libqvsml-0.1.so",
                     "/usr/lib/libstdc++-libc6.2-2.so.3"}))
      << run.changes.ToString();
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.changed), MailChanged(3))
      << run.changes.ToString();
  EXPECT_EQ(run.changes.deleted, Paths{}) << run.changes.ToString();
}

// A user quorvane the host had before the run goes too, from stage 2 on.
TEST(RollbackScenarioTest, PreexistingSystemUserIsDeletedFromStageTwo) {
  Sandbox sandbox;
  SeedMailHostWithGroups(sandbox);
  sandbox.Seed("/etc/passwd", *sandbox.ReadAfter("/etc/passwd") +
                                  "quorvane:x:4243:4242::/var/quorvane:/bin/false\n");
  sandbox.Seed("/etc/shadow", *sandbox.ReadAfter("/etc/shadow") + "quorvane:!:19000::::::\n", 0640);
  const std::string group = *sandbox.ReadAfter("/etc/group");

  RunResult run = RunOnConsole(sandbox, AnswersUpToAddress(MailPart::kGroupPresent));

  EXPECT_TRUE(
      SameTranscript(UpToFolders(MailPart::kGroupPresent) + AddressUnanswered(), run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(AccountLine(sandbox, "/etc/passwd", "quorvane"), std::nullopt);
  EXPECT_EQ(AccountLine(sandbox, "/etc/shadow", "quorvane"), std::nullopt);
  EXPECT_EQ(sandbox.ReadAfter("/etc/group"), group);
  EXPECT_EQ(WithoutAccountToolCopies(run.changes.changed), (Paths{"/etc/passwd", "/etc/shadow"}))
      << run.changes.ToString();
}

// The account tool fails to delete the users: the rollback says so and goes on.
TEST(RollbackScenarioTest, UserThatCannotBeDeletedIsReported) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  sandbox.Seed("/usr/sbin/userdel", "#!/bin/sh\nexit 1\n", 0755);
  sandbox.Seed("/usr/lib/libqvdns-0.1.so", "an older library");

  RunResult run =
      RunOnConsole(sandbox, AnswersUpToAddress(MailPart::kCreatingGroup) + kAddress + "n\n");

  EXPECT_TRUE(
      SameTranscript(UpToCopies(MailPart::kCreatingGroup) +
                         LinkInTheWay("libqvdns-0.1.so", "/usr/lib/libqvdns-0.1.so") +
                         Abort("Error while copying files", "File exists") +
                         Line("Can't delete quorvane system user") + Line("Delete it manually") +
                         Line("Can't delete qvmail system user") + Line("Delete it manually"),
                     run.output));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(AccountLine(sandbox, "/etc/passwd", "quorvane"), std::nullopt);
  // The steps after the user still ran.
  EXPECT_FALSE(sandbox.StatAfter("/etc/vmail"));
  EXPECT_FALSE(sandbox.StatAfter("/var/spool/vmail"));
  EXPECT_FALSE(sandbox.StatAfter(kDefaultInstallationFolder));
}

}  // namespace
