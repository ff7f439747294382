// Runs the built decode tool as the installer does.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>

namespace {

// A fresh folder under /tmp, removed with all it holds.
class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/qv_decode_test.XXXXXX";
    path_ = mkdtemp(name) ? name : "";
  }
  ~TempFolder() {
    if (!path_.empty()) std::filesystem::remove_all(path_);
  }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.insert(entry.path().filename());
    }
    return names;
  }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << file.rdbuf();
  return buffer.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Returns the exit status of `command` run by the shell, or -1.
int ExitStatus(const std::string& command) {
  int status = system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(gen());
  return bytes;
}

// The decode tool's command line with its error output going to `err`.
std::string Decode(const std::string& in, const std::string& out, const std::string& err) {
  return std::string(QV_DECODE_TOOL) + " -u " + in + " -o " + out + " 2>" + err;
}

TEST(DecodeToolTest, MatchesBase64WithEitherLineEnd) {
  TempFolder dir;
  ASSERT_FALSE(dir.path().empty());
  // Large enough to cross the tool's read size.
  std::string data = RandomBytes(3 << 20, 11);
  WriteFile(dir / "data", data);
  ASSERT_EQ(0, ExitStatus("base64 -w 72 " + dir / "data" + " >" + dir / "lf"));
  ASSERT_EQ(0, ExitStatus("sed 's/$/\\r/' " + dir / "lf" + " >" + dir / "crlf"));
  // base64 -d takes no carriage returns; it decodes the LF text for both.
  ASSERT_EQ(0, ExitStatus("base64 -d " + dir / "lf" + " >" + dir / "theirs"));
  for (const char* name : {"lf", "crlf"}) {
    std::string in = dir / name;
    ASSERT_EQ(0, ExitStatus(Decode(in, dir / "ours", dir / "err"))) << ReadFile(dir / "err");
    EXPECT_EQ(ReadFile(dir / "theirs"), ReadFile(dir / "ours")) << name;
    EXPECT_EQ(data, ReadFile(dir / "ours")) << name;
    EXPECT_EQ("", ReadFile(dir / "err"));
  }
}

TEST(DecodeToolTest, EmptyInputGivesEmptyFileWithUsualMode) {
  TempFolder dir;
  WriteFile(dir / "in", "");
  ASSERT_EQ(0, ExitStatus("umask 027 && " + Decode(dir / "in", dir / "out", dir / "err")));
  struct stat st;
  ASSERT_EQ(0, stat((dir / "out").c_str(), &st));
  EXPECT_EQ(0, st.st_size);
  EXPECT_EQ(0640u, st.st_mode & 07777);
}

TEST(DecodeToolTest, RefusalLeavesNothingBehind) {
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"Zm9vYmFy\nZm9v!mFy\n", "invalid character at offset 13"},
      {"Zm9vYmFy\rZm9v", "invalid character at offset 8"},
      {"Zm9=YmFy", "data after padding at offset 4"},
      {"Zm9vYmF", "truncated final group at offset 4"},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    WriteFile(dir / "in", c.text);
    EXPECT_EQ(1, ExitStatus(Decode(dir / "in", dir / "out", dir / "err"))) << c.text;
    EXPECT_EQ("decode: " + dir / "in" + ": " + c.message + "\n", ReadFile(dir / "err"));
    // Only what the test itself made.
    EXPECT_EQ((std::set<std::string>{"in", "err"}), dir.Names()) << c.text;
  }
}

TEST(DecodeToolTest, RefusalKeepsAnExistingOut) {
  TempFolder dir;
  WriteFile(dir / "in", "Zm9v#");
  WriteFile(dir / "out", "before");
  EXPECT_EQ(1, ExitStatus(Decode(dir / "in", dir / "out", dir / "err")));
  EXPECT_EQ("before", ReadFile(dir / "out"));
  EXPECT_EQ((std::set<std::string>{"in", "out", "err"}), dir.Names());
}

TEST(DecodeToolTest, RefusesToReplaceWhatIsNotAFile) {
  TempFolder dir;
  WriteFile(dir / "in", "Zm9v");
  ASSERT_EQ(0, mkfifo((dir / "pipe").c_str(), 0600));
  ASSERT_EQ(0, mkdir((dir / "folder").c_str(), 0700));
  for (const char* name : {"pipe", "folder"}) {
    EXPECT_EQ(1, ExitStatus(Decode(dir / "in", dir / name, dir / "err"))) << name;
    EXPECT_EQ("decode: " + dir / name + ": not a regular file\n", ReadFile(dir / "err"));
  }
  struct stat st;
  ASSERT_EQ(0, stat((dir / "pipe").c_str(), &st));
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ((std::set<std::string>{"in", "err", "pipe", "folder"}), dir.Names());
}

TEST(DecodeToolTest, WrongUsageExitsTwo) {
  TempFolder dir;
  std::string tool = QV_DECODE_TOOL;
  const std::string usages[] = {"", "-u a", "-u a -o", "-u a -x b", "-u a -u b", "-u a -o b c"};
  for (const std::string& args : usages) {
    EXPECT_EQ(2, ExitStatus(tool + " " + args + " 2>" + dir / "err")) << args;
    EXPECT_EQ("usage: decode -u IN -o OUT\n       decode --help | --version\n",
              ReadFile(dir / "err"))
        << args;
  }
  EXPECT_EQ(1, ExitStatus(Decode(dir / "missing", dir / "out", dir / "err")));
  EXPECT_EQ(0u, dir.Names().count("out"));
}

}  // namespace
