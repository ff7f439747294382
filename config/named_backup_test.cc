#include "config/named_backup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "config/test_dialogue.h"

namespace {

std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class NamedBackupTest : public TempFolderTest {
 protected:
  InstallJournal journal_;
};

TEST_F(NamedBackupTest, CopiesAndRecordsThePlainPath) {
  const std::string conf = Path("named.conf");
  std::ofstream(conf) << "options { directory \"/var/named\"; };\n";
  Dialogue d("");
  BackUpNamedConf(d.console, journal_, conf.c_str());
  EXPECT_EQ(d.out.str(), "cp " + conf + " " + conf + ".qvbackup\n");
  EXPECT_EQ(Content(conf + ".qvbackup"), Content(conf));
  EXPECT_NE(journal_.BackupOf(conf), nullptr);
}

TEST_F(NamedBackupTest, PathsWithShellCharactersArePrintedQuotedAndCopied) {
  struct Case {
    const char* name;
    const char* quoted_inside;  // the name as it stands between the quotes
  };
  const Case kCases[] = {{"named conf", "named conf"},
                         {"a;touch pwned;b", "a;touch pwned;b"},
                         {"it's $(touch pwned)", "it'\\''s $(touch pwned)"}};
  for (const Case& c : kCases) {
    const std::string conf = Path(c.name);
    std::ofstream(conf) << c.name;
    Dialogue d("");
    BackUpNamedConf(d.console, journal_, conf.c_str());
    const std::string quoted = folder_ + "/" + c.quoted_inside;
    EXPECT_EQ(d.out.str(), "cp '" + quoted + "' '" + quoted + ".qvbackup'\n") << c.name;
    EXPECT_EQ(Content(conf + ".qvbackup"), c.name);
    EXPECT_NE(journal_.BackupOf(conf), nullptr) << c.name;
  }
  // The copy ran in the test's folder: nothing named pwned appeared there or here.
  EXPECT_FALSE(Exists(Path("pwned")));
  EXPECT_FALSE(Exists("pwned"));
}

TEST_F(NamedBackupTest, FailedCopyIsNotRecorded) {
  const std::string conf = Path("named.conf");
  Dialogue d("");
  BackUpNamedConf(d.console, journal_, conf.c_str());
  EXPECT_EQ(d.out.str(), "cp " + conf + " " + conf + ".qvbackup\n");
  EXPECT_FALSE(Exists(conf + ".qvbackup"));
  EXPECT_EQ(journal_.BackupOf(conf), nullptr);
}

TEST_F(NamedBackupTest, LeftoverBackupIsNotThisRunsWhenTheCopyFails) {
  const std::string conf = Path("named.conf");
  std::ofstream(conf + ".qvbackup") << "from an earlier run\n";
  Dialogue d("");
  BackUpNamedConf(d.console, journal_, conf.c_str());
  EXPECT_EQ(Content(conf + ".qvbackup"), "from an earlier run\n");
  EXPECT_EQ(journal_.BackupOf(conf), nullptr);
}

TEST_F(NamedBackupTest, LeftoverBackupIsKeptUnderTheNextNumber) {
  const std::string conf = Path("named.conf");
  std::ofstream(conf) << "zone \"a\" {};\n";
  std::ofstream(conf + ".qvbackup") << "from an earlier run\n";
  std::ofstream(conf + ".qvbackup.1") << "from the first run\n";
  Dialogue d("");
  BackUpNamedConf(d.console, journal_, conf.c_str());
  EXPECT_EQ(Content(conf + ".qvbackup"), "zone \"a\" {};\n");
  EXPECT_EQ(Content(conf + ".qvbackup.2"), "from an earlier run\n");
  EXPECT_EQ(Content(conf + ".qvbackup.1"), "from the first run\n");
  ASSERT_NE(journal_.BackupOf(conf), nullptr);
  EXPECT_EQ(journal_.BackupOf(conf)->older, conf + ".qvbackup.2");
}

}  // namespace
