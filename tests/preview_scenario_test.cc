// qvpreview run as an administrator runs it, on this machine itself: its
// report, and that the machine is left as it was, without a mount or a
// process of the preview.

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/installer_run.h"

namespace {

// What the installation touches, and the folders it touches it in.
const char* const kWatchedTrees[] = {"/etc", "/usr/local"};
const char* const kWatchedFolders[] = {"/", "/usr/bin", "/usr/lib", "/var", "/var/spool"};

std::string Describe(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return "missing";
  std::ostringstream text;
  text << std::oct << st.st_mode << std::dec << " " << st.st_uid << ":" << st.st_gid;
  // A folder's own times move with work elsewhere (scratch folders in /tmp);
  // its entries tell what changed in it.
  if (!S_ISDIR(st.st_mode)) text << " " << st.st_size << " " << st.st_mtim.tv_sec;
  return text.str();
}

void Snapshot(const std::string& folder, bool recursive, std::map<std::string, std::string>* out) {
  (*out)[folder] = Describe(folder);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = (folder == "/" ? "" : folder) + "/" + name;
    (*out)[path] = Describe(path);
    if (recursive && entry->d_type == DT_DIR) Snapshot(path, true, out);
  }
  closedir(dir);
}

// The watched part of the machine and its mounts.
std::map<std::string, std::string> MachineState() {
  std::map<std::string, std::string> state;
  for (const char* tree : kWatchedTrees) Snapshot(tree, true, &state);
  for (const char* folder : kWatchedFolders) Snapshot(folder, false, &state);
  std::ifstream mounts("/proc/self/mountinfo");
  state["mounts"] = std::string(std::istreambuf_iterator<char>(mounts), {});
  return state;
}

// The entries that differ between two states, one a line.
std::string Differences(const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after) {
  std::string text;
  for (const auto& [key, value] : after) {
    auto it = before.find(key);
    if (it == before.end() || it->second != value) text += key + ": " + value + "\n";
  }
  for (const auto& [key, value] : before) {
    if (!after.count(key)) text += key + ": gone\n";
  }
  return text;
}

struct PreviewRun {
  std::string output;
  int status = -1;
  bool left_processes = true;  // any of qvpreview's descendants outlived it
};

// Runs qvpreview over the demo host with `answers` on its standard input
// and `extra` arguments; with a signal, stdin stays open and the signal
// follows `signal_after`.
PreviewRun RunPreview(const std::string& answers, int signal = 0,
                      const std::string& signal_after = "",
                      const std::vector<std::string>& extra = {}) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) return {};
  // Orphans of the preview become this process's children, to be counted.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close_range(3, ~0U, 0);
    std::string demo = QV_SOURCE_DIR "/demo/";
    std::vector<std::string> args = {"qvpreview", "--layer", demo + "host", "--layer",
                                     demo + "mail-host"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv((DistDir() + "/qvpreview").c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (write(in[1], answers.data(), answers.size()) != static_cast<ssize_t>(answers.size())) {
    ADD_FAILURE() << "cannot give the answers";
  }
  if (!signal) close(in[1]);
  PreviewRun run;
  char buf[4096];
  bool sent = false;
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) {
    run.output.append(buf, n);
    if (signal && !sent && run.output.find(signal_after) != std::string::npos) {
      kill(pid, signal);
      sent = true;
    }
  }
  close(out[0]);
  if (signal) close(in[1]);
  waitpid(pid, &run.status, 0);
  run.left_processes = !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
  return run;
}

TEST(PreviewScenarioTest, ReportsPathsAndDiffsAndLeavesTheMachineAsItWas) {
  std::map<std::string, std::string> before = MachineState();
  PreviewRun run = RunPreview(kDefaultMailAnswers);
  EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.output;
  EXPECT_FALSE(run.left_processes);
  for (const char* line :
       {"+ /etc/Quorvane.conf\n", "+ /etc/conf.linuxconf.qvbackup\n", "~ /etc/group\n",
        "~ /etc/passwd\n", "~ /etc/sendmail.cf\n", "+ /etc/sendmail.cf.qvbackup\n",
        "~ /etc/xinetd.d/ipop3\n", "+ /etc/xinetd.d/ipop3.qvbackup\n", "+ /usr/bin/quorvane\n",
        "+ /usr/local/quorvane/bin/vpop3d\n", "+ /var/quorvane\n", "+ /var/spool/vmail\n",
        "--- /etc/sendmail.cf\t(now)\n+++ /etc/sendmail.cf\t(after the installation)\n",
        "--- /etc/xinetd.d/ipop3\t(now)\n"
        "+++ /etc/xinetd.d/ipop3\t(after the installation)\n"
        "@@ -7,8 +7,10 @@\n"
        " \tsocket_type\t\t= stream\n"
        " \twait\t\t\t= no\n"
        " \tuser\t\t\t= root\n"
        "-\tserver\t\t\t= /usr/sbin/ipop3d\n"
        "+\tserver\t\t\t\t= /usr/local/quorvane/bin/vpop3d\n"
        "+\tserver_args\t\t\t= /usr/sbin/ipop3d\n"
        "+\tper_source\t\t= 4\n"
        " \tlog_on_success\t\t+= USERID\n"
        " \tlog_on_failure\t\t+= USERID\n"
        "-\tdisable\t\t\t= yes\n"
        "+\tdisable\t\t= no\n"
        " }\n"}) {
    EXPECT_NE(run.output.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(Differences(before, MachineState()), "");
}

// The commands after the installer run beside the service it started, and
// the answers may come from an answer file.
TEST(PreviewScenarioTest, ThenCommandSeesTheServiceTheRunStarted) {
  char answers[] = "/tmp/qvpreview-answers.XXXXXX";
  const int fd = mkstemp(answers);
  ASSERT_GE(fd, 0);
  const std::string text = "mail = n\nwindows_address = 192.168.1.20\nstart = y\n";
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  std::map<std::string, std::string> before = MachineState();
  PreviewRun run = RunPreview("", 0, "", {"--answers", answers, "--then", "quorvane status"});
  unlink(answers);
  EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.output;
  EXPECT_NE(run.output.find("Quorvane server started on port 33333\n"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("=== quorvane status ===\nQuorvane server is running (pid "),
            std::string::npos)
      << run.output;
  EXPECT_FALSE(run.left_processes);
  EXPECT_EQ(Differences(before, MachineState()), "");
}

TEST(PreviewScenarioTest, InterruptedAtAQuestionLeavesNothingBehind) {
  std::map<std::string, std::string> before = MachineState();
  PreviewRun run = RunPreview("", SIGTERM, "Do you want to install sendmail controller?");
  EXPECT_NE(run.output.find("qvpreview: interrupted"), std::string::npos) << run.output;
  EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 128 + SIGTERM);
  EXPECT_FALSE(run.left_processes);
  EXPECT_NE(run.output.find("Nothing was changed on this host.\n"), std::string::npos);
  EXPECT_EQ(Differences(before, MachineState()), "");
}

}  // namespace
