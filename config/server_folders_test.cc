#include "config/server_folders.h"

#include <errno.h>
#include <sys/stat.h>

#include <fstream>

#include "config/test_dialogue.h"

namespace {

constexpr char kInstallation[] = "Enter installation folder for Quorvane server (Default: ";
constexpr char kRoot[] = "Enter root folder for Quorvane server (Default: ";
constexpr char kInstallationFolder[] = "/usr/local/quorvane";
constexpr char kOverwrite[] = "\nFolder already exist.\nDo you want to overwrite it? ( Y/N ): ";

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

mode_t ModeOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class ServerFoldersTest : public TempFolderTest {
 protected:
  InstallJournal journal_;
};

TEST_F(ServerFoldersTest, NewInstallationFolderIsCreatedAndRecorded) {
  const std::string qv = Path("qv");
  Dialogue d(qv + "\n");
  TextField folder = "/usr/local/quorvane";
  ASSERT_TRUE(AskInstallationFolder(d.console, journal_, folder));
  EXPECT_EQ(std::string(folder), qv);
  EXPECT_EQ(d.out.str(), Prompt(kInstallation, "/usr/local/quorvane"));
  EXPECT_EQ(ModeOf(qv), 0755 & ~CurrentUmask());
  EXPECT_TRUE(journal_.WasCreated(qv));
}

TEST_F(ServerFoldersTest, EmptyAnswerCreatesTheDefault) {
  const std::string qv = Path("qv");
  Dialogue d("\n");
  TextField folder;
  StoreText(folder, qv);
  ASSERT_TRUE(AskInstallationFolder(d.console, journal_, folder));
  EXPECT_TRUE(IsFolder(qv));
  EXPECT_TRUE(journal_.WasCreated(qv));
}

TEST_F(ServerFoldersTest, ExistingFolderDeclinedThenTakenOver) {
  const std::string qv = Path("qv");
  ASSERT_EQ(mkdir(qv.c_str(), 0700), 0);
  ASSERT_EQ(chmod(qv.c_str(), 0700), 0);
  Dialogue d("\nn\n\nY\n");
  TextField folder;
  StoreText(folder, qv);
  ASSERT_TRUE(AskInstallationFolder(d.console, journal_, folder));
  EXPECT_EQ(d.out.str(), Prompt(kInstallation, qv) + kOverwrite + "File exists\n" +
                             Prompt(kInstallation, qv) + kOverwrite);
  EXPECT_EQ(ModeOf(qv), 0755u);
  EXPECT_FALSE(journal_.WasCreated(qv));
  mode_t old_mode = 0;
  ASSERT_TRUE(journal_.OldMode(qv, &old_mode));
  EXPECT_EQ(old_mode, 0700u);
}

TEST_F(ServerFoldersTest, MissingParentGivesTheFailedPathAsDefault) {
  const std::string missing = Path("missing/qv");
  const std::string qv = Path("qv");
  Dialogue d(missing + "\n" + qv + "\n");
  TextField folder = "/usr/local/quorvane";
  ASSERT_TRUE(AskInstallationFolder(d.console, journal_, folder));
  EXPECT_EQ(d.out.str(), Prompt(kInstallation, "/usr/local/quorvane") +
                             "No such file or directory\n" + Prompt(kInstallation, missing));
  EXPECT_TRUE(IsFolder(qv));
}

TEST_F(ServerFoldersTest, FileInTheWayIsNoFolderToTakeOver) {
  const std::string file = Path("qv");
  std::ofstream(file) << "x";
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  const std::string qv = Path("qv2");
  Dialogue d(file + "\n" + qv + "\n");
  TextField folder = "/usr/local/quorvane";
  ASSERT_TRUE(AskInstallationFolder(d.console, journal_, folder));
  EXPECT_EQ(d.out.str(), Prompt(kInstallation, "/usr/local/quorvane") + "Not a directory\n" +
                             Prompt(kInstallation, file));
  EXPECT_EQ(ModeOf(file), 0600u);
  mode_t ignored;
  EXPECT_FALSE(journal_.OldMode(file, &ignored));
}

TEST_F(ServerFoldersTest, EndOfInputFailsInsteadOfAskingAgain) {
  const std::string qv = Path("qv");
  ASSERT_EQ(mkdir(qv.c_str(), 0700), 0);
  struct Case {
    const char* answers;
    const char* output_tail;
  };
  // At the folder question, and at the overwrite question (which is no "no").
  for (const Case& c : {Case{"", "Press Enter for Default: \n"}, Case{"\n", "( Y/N ): \n"}}) {
    Dialogue d(c.answers);
    TextField folder;
    StoreText(folder, qv);
    errno = 0;
    EXPECT_FALSE(AskInstallationFolder(d.console, journal_, folder));
    EXPECT_EQ(errno, ENODATA);
    EXPECT_TRUE(d.out.str().ends_with(c.output_tail)) << d.out.str();
    EXPECT_EQ(ModeOf(qv), 0700u);
  }
}

TEST_F(ServerFoldersTest, ExistingRootFolderIsUsedSilently) {
  const std::string root = Path("root");
  ASSERT_EQ(mkdir(root.c_str(), 0700), 0);
  Dialogue d(root + "\n");
  TextField folder = "/var/quorvane";
  ASSERT_TRUE(AskRootFolder(d.console, journal_, folder, kInstallationFolder));
  EXPECT_EQ(d.out.str(), Prompt(kRoot, "/var/quorvane"));
  EXPECT_EQ(ModeOf(root), 0700u);
  EXPECT_FALSE(journal_.WasCreated(root));
}

TEST_F(ServerFoldersTest, NewRootFolderGetsMode0777LessUmask) {
  const std::string root = Path("root");
  Dialogue d(root + "\n");
  TextField folder = "/var/quorvane";
  ASSERT_TRUE(AskRootFolder(d.console, journal_, folder, kInstallationFolder));
  EXPECT_EQ(ModeOf(root), 0777 & ~CurrentUmask());
  EXPECT_TRUE(journal_.WasCreated(root));
}

TEST_F(ServerFoldersTest, FailedRootFolderEmptiesTheDefault) {
  const std::string missing = Path("missing/root");
  const std::string file = Path("file");
  std::ofstream(file) << "x";
  const std::string root = Path("root");
  Dialogue d(missing + "\n\n" + file + "\n" + root + "\n");
  TextField folder = "/var/quorvane";
  ASSERT_TRUE(AskRootFolder(d.console, journal_, folder, kInstallationFolder));
  EXPECT_EQ(std::string(folder), root);
  const std::string again = Prompt(kRoot, "");
  EXPECT_EQ(d.out.str(), Prompt(kRoot, "/var/quorvane") + "No such file or directory\n" + again +
                             "No such file or directory\n" + again + "Not a directory\n" + again);
}

TEST_F(ServerFoldersTest, EndOfInputAtRootFolderFails) {
  Dialogue d(Path("missing/root") + "\n");
  TextField folder = "/var/quorvane";
  errno = 0;
  EXPECT_FALSE(AskRootFolder(d.console, journal_, folder, kInstallationFolder));
  EXPECT_EQ(errno, ENODATA);
  EXPECT_TRUE(d.out.str().ends_with(Prompt(kRoot, "") + "\n"));
}

}  // namespace

namespace {

TEST_F(ServerFoldersTest, RelativeFoldersAreRefusedForBothQuestions) {
  const std::string qv = Path("qv");
  Dialogue d("qv\n" + qv + "\n../root\n" + Path("root") + "\n");
  TextField installation = "/usr/local/quorvane";
  TextField root = "/var/quorvane";
  ASSERT_TRUE(AskInstallationFolder(d.console, journal_, installation));
  ASSERT_TRUE(AskRootFolder(d.console, journal_, root, installation));
  EXPECT_EQ(std::string(installation), qv);
  EXPECT_EQ(std::string(root), Path("root"));
  const std::string refusal = "\nIlleagle value (only full paths are allowed).";
  EXPECT_EQ(d.out.str(), Prompt(kInstallation, "/usr/local/quorvane") + refusal +
                             Prompt(kInstallation, "/usr/local/quorvane") +
                             Prompt(kRoot, "/var/quorvane") + refusal +
                             Prompt(kRoot, "/var/quorvane"));
}

}  // namespace
