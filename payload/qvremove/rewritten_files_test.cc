#include "payload/qvremove/rewritten_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "mailfiles/sendmail_mc.h"
#include "mailfiles/xinetd_entry.h"

namespace {

constexpr char kInsFolder[] = "/usr/local/quorvane";
constexpr char kHostEntry[] = "service pop3\n{\n\tserver = /usr/sbin/ipop3d\n\tdisable = yes\n}\n";
constexpr char kOlderEntry[] = "service pop3\n{\n\tserver = /usr/sbin/popd\n}\n";

std::string Installed(const std::string& entry) { return TransformXinetdEntry(entry, kInsFolder); }

std::optional<std::string> Read(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The files before qvremove (name suffix to content) and what it leaves.
TEST(RewrittenFilesTest, PutsBackOnlyWhatStillHoldsTheInstallersText) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> before;
    RestoreOutcome outcome;
    std::map<std::string, std::optional<std::string>> after;
  } cases[] = {
      {"installed",
       {{"", Installed(kHostEntry)}, {".qvbackup", kHostEntry}},
       RestoreOutcome::kRestored,
       {{"", kHostEntry}, {".qvbackup", std::nullopt}}},
      {"changed by the administrator",
       {{"", Installed(kHostEntry) + "# mine\n"}, {".qvbackup", kHostEntry}},
       RestoreOutcome::kChanged,
       {{"", Installed(kHostEntry) + "# mine\n"}, {".qvbackup", kHostEntry}}},
      {"never rewritten", {{"", kHostEntry}}, RestoreOutcome::kNoBackup, {{"", kHostEntry}}},
      {"installed again after an interrupted run",
       {{"", Installed(kHostEntry)},
        {".qvbackup", Installed(kHostEntry)},
        {".qvbackup.1", kOlderEntry},
        {".qvbackup.2", kHostEntry}},
       RestoreOutcome::kRestored,
       {{"", kHostEntry}, {".qvbackup", Installed(kHostEntry)}, {".qvbackup.1", kOlderEntry}}},
  };
  for (const Case& c : cases) {
    char folder[] = "/tmp/rewritten_files_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    const std::string path = std::string(folder) + "/ipop3";
    for (const auto& [suffix, content] : c.before) std::ofstream(path + suffix) << content;
    RewrittenFile file{path, "xinetd", [](const std::string& backup, const std::string& folder) {
                         return TransformXinetdEntry(backup, folder);
                       }};
    std::string err;
    EXPECT_EQ(c.outcome, RestoreRewrittenFile(file, kInsFolder, &err)) << c.name << err;
    for (const auto& [suffix, content] : c.after) EXPECT_EQ(content, Read(path + suffix)) << c.name;
    std::filesystem::remove_all(folder);
  }
}

}  // namespace

namespace {

constexpr char kMc[] = "include(`/usr/share/sendmail/cf/m4/cf.m4')dnl\nMAILER(`local')dnl\n";
constexpr char kOlderMc[] = "include(`/usr/share/sendmail/cf/m4/cf.m4')dnl\n";

// sendmail.mc and sendmail.cf (name suffix to content) before qvremove, and
// what it leaves of them.
TEST(RewrittenFilesTest, PutsBackTheHookedMcAndTheCfMadeFromIt) {
  const std::string hooked = HookedMc(kMc, kInsFolder);
  struct Case {
    const char* name;
    std::map<std::string, std::string> before;
    RestoreOutcome outcome;
    std::map<std::string, std::optional<std::string>> after;
  } cases[] = {
      {"hooked, the cf regenerated since",
       {{".mc", hooked}, {".mc.qvbackup", kMc}, {".cf", "made again"}, {".cf.qvbackup", "host's"}},
       RestoreOutcome::kRestored,
       {{".mc", kMc},
        {".mc.qvbackup", std::nullopt},
        {".cf", "host's"},
        {".cf.qvbackup", std::nullopt}}},
      {"the .mc changed by the administrator",
       {{".mc", hooked + "dnl mine\n"},
        {".mc.qvbackup", kMc},
        {".cf", "made"},
        {".cf.qvbackup", "host's"}},
       RestoreOutcome::kChanged,
       {{".mc", hooked + "dnl mine\n"}, {".cf", "made"}, {".cf.qvbackup", "host's"}}},
      {"never hooked",
       {{".mc", kMc}, {".cf", "host's"}},
       RestoreOutcome::kNoBackup,
       {{".mc", kMc}, {".cf", "host's"}}},
      {"hooked again after an interrupted run",
       {{".mc", hooked},
        {".mc.qvbackup", hooked},
        {".mc.qvbackup.1", kOlderMc},
        {".mc.qvbackup.2", kMc},
        {".cf", "made"},
        {".cf.qvbackup", "made before"},
        {".cf.qvbackup.2", "host's"}},
       RestoreOutcome::kRestored,
       {{".mc", kMc},
        {".mc.qvbackup", hooked},
        {".cf", "host's"},
        {".cf.qvbackup", "made before"}}},
  };
  for (const Case& c : cases) {
    char folder[] = "/tmp/rewritten_files_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(folder));
    const std::string base = std::string(folder) + "/sendmail";
    for (const auto& [suffix, content] : c.before) std::ofstream(base + suffix) << content;
    std::string err;
    EXPECT_EQ(c.outcome, RestoreHookedMc(base + ".cf", kInsFolder, &err)) << c.name << err;
    for (const auto& [suffix, content] : c.after) EXPECT_EQ(content, Read(base + suffix)) << c.name;
    std::filesystem::remove_all(folder);
  }
}

}  // namespace
