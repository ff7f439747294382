// What the installer refuses, through the real installer: links planted
// where it writes, system folders and folders others can change given as
// its folders, special files and relative paths confirmed, answers no
// configuration file can hold, and what a rerun or a rollback must keep.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/transcript.h"

namespace {

constexpr char kPrecious[] = "the administrator's own file\n";
constexpr char kLinkRefusal[] = ": Too many levels of symbolic links";

struct Case {
  std::string name;
  bool mail;
  std::function<void(Sandbox&)> seed;  // on top of the standard or mail host
  std::string answers;
  std::string transcript;
  int exit_status;
  std::function<void(const Sandbox&, const RunResult&)> check;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    if (c.mail)
      SeedMailHost(sandbox);
    else
      SeedStandardHost(sandbox);
    if (c.seed) c.seed(sandbox);
    RunResult run = RunOnConsole(sandbox, c.answers);
    EXPECT_TRUE(SameTranscript(c.transcript, run.output));
    EXPECT_EQ(run.exit_status, c.exit_status);
    // Nothing the run made under a fresh name is left behind.
    for (const std::string& path : run.changes.created) {
      EXPECT_EQ(path.find(".qvnew."), std::string::npos) << path;
      EXPECT_EQ(path.find(".qvold."), std::string::npos) << path;
    }
    if (c.check) c.check(sandbox, run);
  }
}

// A whole run with every default kept, started or not.
std::string WholeRun(bool mail) {
  const MailPart part = mail ? MailPart::kCreatingGroup : MailPart::kNone;
  return Opening() + ServerDialogue(part) + DnsDialogue() + (mail ? MailStages() : "") +
         RunEnding(/*started=*/false, mail ? "xinetd" : "");
}

std::string WholeRunAnswers(bool mail) {
  return AnswersUpToAddress(mail ? MailPart::kCreatingGroup : MailPart::kNone) + kAddress + "n\n";
}

// A whole run in which the installation folder answer `folder` is refused
// with `refusal` before the default is taken.
Case FolderRefused(std::string name, bool mail, std::function<void(Sandbox&)> seed,
                   const std::string& folder, const std::string& refusal) {
  const std::string whole = WholeRun(mail);
  const std::string refused = DefaultNumbers() +
                              DefaultPrompt(kInstallationQuestion, kDefaultInstallationFolder) +
                              "\n" + refusal;
  std::string answers = WholeRunAnswers(mail);
  answers.insert(answers.find("\n\n\n") + 3, folder + "\n");
  return {std::move(name),
          mail,
          std::move(seed),
          answers,
          whole.substr(0, Opening().size()) + refused +
              whole.substr(Opening().size() + DefaultNumbers().size()),
          0,
          [](const Sandbox& sandbox, const RunResult&) {
            EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), InFolder("/bin/quorvane"));
          }};
}

void SeedPrecious(Sandbox& sandbox, const std::string& path) { sandbox.Seed(path, kPrecious); }

void ExpectPrecious(const Sandbox& sandbox, const std::string& path) {
  EXPECT_EQ(sandbox.ReadAfter(path), kPrecious) << path;
}

TEST(RefusalScenarioTest, LinksPlantedWhereTheRunWritesAreNeverWrittenThrough) {
  const std::vector<std::string> backed_up = {"/etc/named.conf", "/etc/sendmail.cf",
                                              "/etc/conf.linuxconf", "/etc/xinetd.d/ipop3"};
  const std::string planted = InFolder("/etc/hosts.allow");
  RunCases({
      {"BackupNames", true,
       [&](Sandbox& sandbox) {
         for (const std::string& file : backed_up) {
           SeedPrecious(sandbox, "/srv" + file);
           sandbox.SeedSymlink(file + ".qvbackup", "/srv" + file);
         }
       },
       WholeRunAnswers(true), WholeRun(true), 0,
       [&](const Sandbox& sandbox, const RunResult&) {
         for (const std::string& file : backed_up) {
           ExpectPrecious(sandbox, "/srv" + file);
           // The planted link is kept under the next number; the backup is a file.
           EXPECT_EQ(sandbox.LinkTargetAfter(file + ".qvbackup.1"), "/srv" + file);
           EXPECT_TRUE(S_ISREG(sandbox.StatAfter(file + ".qvbackup")->st_mode)) << file;
         }
       }},
      {"AccessList", false, [&](Sandbox& sandbox) { sandbox.SeedSymlink(planted, "/srv/planted"); },
       AnswersUpToAddress(MailPart::kNone, true) + kAddress,
       UpToFolders(MailPart::kNone, true) + kAddressPrompt +
           Line("won't write through the link " + planted + kLinkRefusal) +
           Abort("Error while creating required folders", "Too many levels of symbolic links"),
       1,
       [](const Sandbox& sandbox, const RunResult&) {
         EXPECT_FALSE(sandbox.StatAfter("/srv/planted"));
       }},
      {"LogFolder", false,
       [](Sandbox& sandbox) {
         sandbox.SeedDir("/srv/private", 0700);
         sandbox.SeedSymlink(InFolder("/log"), "/srv/private");
       },
       AnswersUpToAddress(MailPart::kNone, true),
       UpToFolders(MailPart::kNone, true) + Line(InFolder("/log") + " is not a real folder") +
           Abort("Error while creating required folders", "Not a directory"),
       1,
       [](const Sandbox& sandbox, const RunResult&) {
         EXPECT_EQ(ModeAfter(sandbox, "/srv/private"), 0700u);
       }},
      {"Program", false,
       [](Sandbox& sandbox) {
         SeedPrecious(sandbox, "/srv/precious");
         sandbox.SeedSymlink(InFolder("/bin/quorvane"), "/srv/precious");
       },
       AnswersUpToAddress(MailPart::kNone, true) + kAddress,
       UpToCopies(MailPart::kNone, true) +
           Line("won't write through the link " + InFolder("/bin/quorvane") + kLinkRefusal) +
           Abort("Error while copying files", "Too many levels of symbolic links"),
       1,
       [](const Sandbox& sandbox, const RunResult&) { ExpectPrecious(sandbox, "/srv/precious"); }},
  });
}

TEST(RefusalScenarioTest, SystemFoldersAndFoldersOthersCanChangeAreNotTaken) {
  const std::string system = "Illeagle value (system folders are not allowed).";
  const std::string not_roots =
      "Illeagle value (only folders that root alone can write are allowed).";
  std::vector<Case> cases = {
      FolderRefused("Root", false, nullptr, "/", system),
      FolderRefused("Usr", false, nullptr, "/usr", system),
      FolderRefused("BinWrittenOddly", false, nullptr, "/usr/local/../bin/", system),
      FolderRefused(
          "LinkToEtc", false, [](Sandbox& sandbox) { sandbox.SeedSymlink("/srv/etc", "/etc"); },
          "/srv/etc", system),
      FolderRefused(
          "BelowAWritableFolder", false,
          [](Sandbox& sandbox) { sandbox.SeedDir("/srv/shared", 0777); }, "/srv/shared/qv",
          not_roots),
      FolderRefused(
          "SomeoneElses", false,
          [](Sandbox& sandbox) {
            sandbox.SeedDir("/srv/theirs", 0755);
            sandbox.SeedOwner("/srv/theirs", 65534, 65534);
          },
          "/srv/theirs", not_roots),
      FolderRefused(
          "LinkToAFolder", false,
          [](Sandbox& sandbox) {
            sandbox.SeedDir("/srv/real");
            sandbox.SeedSymlink("/srv/qv", "/srv/real");
          },
          "/srv/qv", "Illeagle value (only real folders are allowed)."),
  };
  // The root folder: "/etc" is never given to the service's user.
  Case etc = FolderRefused("EtcAsRootFolder", true, nullptr, "", "");
  const std::string root_prompt = DefaultPrompt(kRootQuestion, kDefaultRootFolder);
  etc.answers = WholeRunAnswers(true);
  etc.answers.insert(etc.answers.find("y\n", 2) + 2, "/etc\n");
  etc.transcript = WholeRun(true);
  etc.transcript.insert(etc.transcript.find(root_prompt), root_prompt + "\n" + system);
  etc.check = [](const Sandbox& sandbox, const RunResult&) {
    auto st = sandbox.StatAfter("/etc");
    ASSERT_TRUE(st);
    EXPECT_EQ(st->st_uid, 0u);
  };
  cases.push_back(etc);
  RunCases(cases);
}

// The root folder is given to the service's user, who could then move
// what lies in it aside and put something else in its place. A folder that
// root runs or reads from, or one that is, holds or lies in the
// installation folder, is refused and asked again (the default is then
// taken); a new folder elsewhere is given away.
TEST(RefusalScenarioTest, RootFoldersThatRootTrustsAreNeverGivenAway) {
  const std::string system = "Illeagle value (system folders are not allowed).";
  const std::string installation =
      "Illeagle value (the root folder may not be, hold or lie in the installation folder).";
  struct Answer {
    std::string name, folder, refusal;  // no refusal: the folder is taken
    std::function<void(Sandbox&)> seed;
  };
  const Answer kAnswers[] = {
      {"InstallationFolder", kDefaultInstallationFolder, installation, nullptr},
      {"ItsBin", InFolder("/bin"), installation, nullptr},
      {"InsideIt", InFolder("/data"), installation, nullptr},
      {"HoldingIt", "/usr/local", installation, nullptr},
      {"EtcSsh", "/etc/ssh", system, nullptr},
      {"LibraryFolder", "/usr/lib/x86_64-linux-gnu", system, nullptr},
      {"BelowVarLib", "/var/lib/quorvane", system, nullptr},
      {"BelowBoot", "/boot/quorvane", system, nullptr},
      {"BelowRootsHome", "/root/quorvane", system, nullptr},
      {"APackagesFolder", "/srv/packaged", system,
       [](Sandbox& sandbox) {
         sandbox.SeedDir("/srv/packaged");
         sandbox.Seed("/var/lib/dpkg/info/qvtest-data.list", "/srv/packaged\n");
       }},
      {"HoldingAProgram", "/srv/tools", system,
       [](Sandbox& sandbox) { sandbox.Seed("/srv/tools/bin/run", "#!/bin/sh\n", 0755); }},
      {"NewFolderUnderSrv", "/srv/mail-root", "", nullptr},
  };
  const std::string root_prompt = DefaultPrompt(kRootQuestion, kDefaultRootFolder);
  std::vector<Case> cases;
  for (const Answer& a : kAnswers) {
    Case c = FolderRefused(a.name, true, a.seed, "", "");
    c.answers = WholeRunAnswers(true);
    c.transcript = WholeRun(true);
    // The root folder's answer follows the popusers group's "y"; after a
    // refusal that answer, which keeps the default, is given again.
    const size_t root_answer = c.answers.find("y\n", 2) + 2;
    const std::string given = a.refusal.empty() ? a.folder : kDefaultRootFolder;
    if (a.refusal.empty()) {
      c.answers.replace(root_answer, 1, a.folder + "\n");
    } else {
      c.answers.insert(root_answer, a.folder + "\n");
      c.transcript.insert(c.transcript.find(root_prompt), root_prompt + "\n" + a.refusal);
    }
    c.check = [a, given](const Sandbox& sandbox, const RunResult& run) {
      const auto st = sandbox.StatAfter(a.folder);
      if (!a.refusal.empty() && st) {
        EXPECT_EQ(st->st_uid, 0u) << a.folder;
      }
      const auto taken = sandbox.StatAfter(given);
      ASSERT_TRUE(taken) << given << run.output;
      EXPECT_EQ(taken->st_uid, AccountUid(sandbox, "quorvane").value_or(0)) << given;
    };
    cases.push_back(c);
  }
  RunCases(cases);
}

TEST(RefusalScenarioTest, ConfirmedPathsAreFullPathsOfRegularFiles) {
  // A FIFO would hang a run that opened it to see whether it is there.
  char layer[] = "/tmp/qv-fifo-layer-XXXXXX";
  ASSERT_NE(mkdtemp(layer), nullptr);
  ASSERT_EQ(mkdir((std::string(layer) + "/srv").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo((std::string(layer) + "/srv/named.fifo").c_str(), 0644), 0);
  const std::string named_question = "Is this the correct path of named.conf file? ( Y/N ): ";
  const std::string path_question = "\nEnter full path of named.conf file: ";
  const std::string answers = ServerAnswers(MailPart::kNone) + "\n" +
                              "y\nnamed.conf\n/etc/named.real\n" + "\n\n\n\n\n" + kAddress + "n\n";
  std::string transcript = WholeRun(false);
  const std::string found = Line("Checking DNS configurationg file...\tOK") +
                            Line("cp /etc/named.conf /etc/named.conf.qvbackup");
  transcript.replace(transcript.find(found), found.size(),
                     "Checking DNS configurationg file..." + Line("/etc/named.conf") +
                         named_question + "\nIlleagle value (only regular files are allowed)." +
                         path_question + "\nIlleagle value (only full paths are allowed)." +
                         path_question + Line("\tOK") +
                         Line("cp /etc/named.real /etc/named.real.qvbackup"));
  RunCases({{"FifoThenRelativePath", false,
             [&layer](Sandbox& sandbox) {
               sandbox.AddLayer(layer);
               sandbox.Seed("/etc/named.real", "options {};\n");
               sandbox.SeedSymlink("/etc/named.conf", "/srv/named.fifo");
             },
             answers, transcript, 0,
             [](const Sandbox& sandbox, const RunResult&) {
               EXPECT_NE(sandbox.ReadAfter("/etc/Quorvane.conf")
                             .value_or("")
                             .find("NamedConfFile \"/etc/named.real\""),
                         std::string::npos);
             }}});
  std::filesystem::remove_all(layer);
}

TEST(RefusalScenarioTest, AnswersNoConfigurationFileCanHoldAreAskedAgain) {
  const std::string spaces = "Illeagle value (spaces are not allowed).";
  const std::string control = "Illeagle value (control characters are not allowed).";
  Case nul = {"NulInTheMailAnswer",
              false,
              nullptr,
              std::string("n\0y\n", 4) + WholeRunAnswers(false),
              Line("Extracting the package...") + Line(kMailQuestion) +
                  Line("Illeagle value. Only give 'Y' or 'N'") +
                  WholeRun(false).substr(Line("Extracting the package...").size()),
              0,
              nullptr};
  RunCases({
      FolderRefused("BlankWithMail", true, nullptr, "/opt/Quorvane Server", spaces),
      FolderRefused("TabWithMail", true, nullptr, "/opt/Quorvane\tServer", spaces),
      FolderRefused("ControlCharacter", false, nullptr, "/opt/q\x1bv", control),
      nul,
  });
}

// After an interrupted run sendmail.cf holds the installer's text and the
// backup the host's original: a rerun keeps that original under a number,
// and a rollback gives it its name back.
TEST(RefusalScenarioTest, BackupsOfAnEarlierRunAreKeptUnderNumbers) {
  static constexpr char kInstallersText[] = "# written by an interrupted run\n";
  auto seed = [](Sandbox& sandbox) {
    sandbox.Seed("/etc/sendmail.cf.qvbackup", *sandbox.ReadAfter("/etc/sendmail.cf"));
    sandbox.Seed("/etc/sendmail.cf", kInstallersText);
  };
  Sandbox fresh;
  SeedMailHost(fresh);
  const std::string original = *fresh.ReadAfter("/etc/sendmail.cf");
  RunCases({
      {"Rerun", true, seed, WholeRunAnswers(true), WholeRun(true), 0,
       [&](const Sandbox& sandbox, const RunResult&) {
         EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf.qvbackup"), kInstallersText);
         EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf.qvbackup.1"), original);
       }},
      {"RolledBack", true, seed, AnswersUpToAddress(MailPart::kCreatingGroup),
       UpToFolders(MailPart::kCreatingGroup) + kAddressPrompt + "\n" +
           Abort("Error while creating required folders", "No data available"),
       1,
       [&](const Sandbox& sandbox, const RunResult&) {
         EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf"), kInstallersText);
         EXPECT_EQ(sandbox.ReadAfter("/etc/sendmail.cf.qvbackup"), original);
         EXPECT_FALSE(sandbox.StatAfter("/etc/sendmail.cf.qvbackup.1"));
       }},
  });
}

// What the run replaced on "y" comes back with a rollback, whatever stage fails.
TEST(RefusalScenarioTest, ReplacedLinksAndProgramsComeBackWithARollback) {
  const std::string stage6 =
      Line("Success") + Line("Creating configuration file...") +
      Line("won't write through the link /etc/Quorvane.conf" + std::string(kLinkRefusal)) +
      Abort("Error while creating configuration file", "Too many levels of symbolic links");
  auto dangling_conf = [](Sandbox& sandbox) {
    sandbox.SeedSymlink("/etc/Quorvane.conf", "/srv/missing/Quorvane.conf");
  };
  RunCases({
      {"CommandLink", false,
       [&](Sandbox& sandbox) {
         dangling_conf(sandbox);
         sandbox.SeedSymlink("/usr/bin/quorvane", "/opt/old/quorvane");
       },
       AnswersUpToAddress() + kAddress + "y\n",
       UpToCopies() + LinkInTheWay("quorvane", "/usr/bin/quorvane") + stage6, 1,
       [](const Sandbox& sandbox, const RunResult&) {
         EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), "/opt/old/quorvane");
       }},
      {"Library", false,
       [](Sandbox& sandbox) {
         sandbox.Seed("/usr/lib/libqvdns-0.1.so", "an older library");
         sandbox.Seed("/usr/bin/quorvane", "an older command", 0755);
       },
       AnswersUpToAddress() + kAddress + "y\nn\n",
       UpToCopies() + LinkInTheWay("libqvdns-0.1.so", "/usr/lib/libqvdns-0.1.so") +
           LinkInTheWay("quorvane", "/usr/bin/quorvane") +
           Abort("Error while copying files", "File exists"),
       1,
       [](const Sandbox& sandbox, const RunResult&) {
         EXPECT_EQ(sandbox.ReadAfter("/usr/lib/libqvdns-0.1.so"), "an older library");
         EXPECT_EQ(sandbox.ReadAfter("/usr/bin/quorvane"), "an older command");
       }},
      {"ProgramInATakenOverFolder", false,
       [&](Sandbox& sandbox) {
         dangling_conf(sandbox);
         sandbox.Seed(InFolder("/bin/quorvane"), "an older program", 0700);
       },
       AnswersUpToAddress(MailPart::kNone, true) + kAddress + "y\n",
       UpToCopies(MailPart::kNone, true) + stage6, 1,
       [](const Sandbox& sandbox, const RunResult&) {
         EXPECT_EQ(sandbox.ReadAfter(InFolder("/bin/quorvane")), "an older program");
         EXPECT_EQ(ModeAfter(sandbox, InFolder("/bin/quorvane")), 0700u);
       }},
      {"FolderInTheWayOfAProgram", true,
       [](Sandbox& sandbox) { sandbox.Seed(InFolder("/bin/vdeliver/keep"), "x"); },
       AnswersUpToAddress(MailPart::kCreatingGroup, true) + kAddress,
       UpToCopies(MailPart::kCreatingGroup, true) +
           Line("can't set aside " + InFolder("/bin/vdeliver") + ": Operation not permitted") +
           Abort("Error while copying files", "Operation not permitted"),
       1,
       [](const Sandbox& sandbox, const RunResult&) {
         EXPECT_EQ(sandbox.ReadAfter(InFolder("/bin/vdeliver/keep")), "x");
       }},
  });
}

// Nothing that root runs or reads from the installation is writable by
// anyone but root, whatever mode the package gave its members.
TEST(RefusalScenarioTest, EverythingInstalledIsWritableByRootOnly) {
  RunCases({{"WholeMailRun", true, nullptr, WholeRunAnswers(true), WholeRun(true), 0,
             [](const Sandbox& sandbox, const RunResult& run) {
               size_t checked = 0;
               for (const std::string& path : run.changes.created) {
                 if (path.rfind(kDefaultInstallationFolder, 0) != 0 && path.rfind("/usr/", 0) != 0)
                   continue;
                 auto st = sandbox.StatAfter(path);
                 ASSERT_TRUE(st) << path;
                 if (S_ISLNK(st->st_mode)) continue;
                 EXPECT_EQ(st->st_uid, 0u) << path;
                 EXPECT_EQ(st->st_mode & 022, 0u) << path;
                 ++checked;
               }
               EXPECT_GE(checked, 12u);  // the folder, three sub folders, lists and programs
             }}});
}

}  // namespace
