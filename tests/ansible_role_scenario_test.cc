// The Ansible role of contrib/ansible, run by ansible-playbook with the local
// connection inside the sandbox, as it would run on one host of a fleet.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/answer_file.h"
#include "sandbox/sandbox.h"
#include "tests/installer_run.h"
#include "tests/mail_daemons.h"

namespace {

constexpr char kPlaybook[] = "/root/qvplay/site.yml";
constexpr char kRole[] = QV_ANSIBLE_ROLES "/qvinstall";

// The README's answer file for a host as Debian 12 ships it, as role
// variables, and a domain for the check to send its message to.
constexpr char kDebianVars[] =
    "        qvinstall_mail: true\n"
    "        qvinstall_create_popusers: true\n"
    "        qvinstall_named_conf: /etc/bind/named.conf\n"
    "        qvinstall_named_pid: /run/named/named.pid\n"
    "        qvinstall_sendmail_cf: /etc/mail/sendmail.cf\n"
    "        qvinstall_sendmail_pid: /var/run/sendmail/mta/sendmail.pid\n"
    "        qvinstall_windows_address: 192.168.1.20\n"
    "        qvinstall_virtual_domains: [example.test]\n";

// The host's daemons started as its boot starts them, the service too once
// it is registered; each run of the sandbox is a boot.
constexpr char kBoot[] =
    "for link in /etc/rc2.d/S*; do\n"
    "  case ${link##*/} in\n"
    "    *named|*sendmail|*xinetd|*quorvane) $link start >/dev/null 2>&1 ;;\n"
    "  esac\n"
    "done\n";

// The preview's view is an overlay whose upper folder lies in /tmp; inside
// the sandbox, / is an overlay itself, which the kernel refuses to carry an
// upper folder. A host's own /tmp is a plain file system, as this one is.
// -n: mount would otherwise make /run/mount on a host that has none, and
// that scaffolding would show as the role's change.
constexpr char kPlainTmp[] = "mount -n -t tmpfs -o mode=1777 qvtmp /tmp\n";

// A playbook applying the role to this host with the given role variables
// (YAML lines, indented for the role's `vars`).
std::string Playbook(const std::string& vars) {
  return "- name: Install the Quorvane server\n"
         "  hosts: localhost\n"
         "  gather_facts: false\n"
         "  roles:\n"
         "    - role: qvinstall\n"
         "      vars:\n"
         "        qvinstall_archive: " QV_RELEASE_ARCHIVE "\n" +
         vars;
}

// The standard host's answers: every default and the address.
std::string StandardVars(const std::string& more = "") {
  return "        qvinstall_windows_address: 192.168.1.20\n" + more;
}

// Runs `before`, the playbook with `arguments`, then `after`; the status
// is the playbook's, and the output holds standard error too.
RunResult RunPlaybook(Sandbox& sandbox, const std::string& before, const std::string& arguments,
                      const std::string& after = "") {
  RunOptions options;
  options.timeout_seconds = 240;
  const std::string script = before +
                             "export LC_ALL=C.UTF-8 ANSIBLE_ROLES_PATH=" QV_ANSIBLE_ROLES
                             " ANSIBLE_NOCOLOR=1\n"
                             "ansible-playbook -i localhost, -c local -e "
                             "ansible_python_interpreter=/usr/bin/python3 " +
                             arguments + " " + kPlaybook +
                             "\n"
                             "status=$?\n" +
                             after + "exit $status\n";
  return sandbox.Run({"/bin/sh", "-c", "{\n" + script + "} 2>&1"}, options);
}

// The PLAY RECAP counts for localhost, e.g. "ok=6 changed=2 ... failed=0".
std::string Recap(const RunResult& run) {
  size_t at = run.output.rfind("localhost");
  return at == std::string::npos ? "" : run.output.substr(at, run.output.find('\n', at) - at);
}

// How the role's task `name` ended: "ok", "changed", "skipping", "fatal"
// (the first word of the line after its heading), or "" when it did not run.
std::string Outcome(const RunResult& run, const std::string& name) {
  const size_t heading = run.output.find("TASK [qvinstall : " + name + "]");
  if (heading == std::string::npos) return "";
  const size_t line = run.output.find('\n', heading) + 1;
  return run.output.substr(line, run.output.find_first_of(":\n", line) - line);
}

// The changed paths that are not Ansible's own working folder.
std::vector<std::string> ChangedOnTheHost(const ChangeSet& changes) {
  std::vector<std::string> host;
  std::istringstream lines(changes.ToString());
  for (std::string line; std::getline(lines, line);) {
    const std::string path = line.substr(line.find('/'));
    if (path != "/root" && !path.starts_with("/root/.ansible")) host.push_back(line);
  }
  return host;
}

// A stock Debian 12 mail and DNS server about to get the role with the
// README's Debian answers; false (the test skipped) when Debian's packages
// cannot be had.
bool SetUpStockDebian(Sandbox& sandbox, std::string* err) {
  if (!AddStockHostLayers(sandbox, SuperServer::kXinetd, err)) return false;
  // sendmail waits a minute for a host name that is not fully qualified.
  sandbox.Seed("/etc/hosts", "127.0.0.1\tlocalhost\n127.0.1.1\tqvhost.example.test qvhost\n");
  sandbox.Seed(kPlaybook, Playbook(kDebianVars));
  return true;
}

TEST(AnsibleRoleScenarioTest, CheckModeOnStockDebianReportsThePreviewAndChangesNothing) {
  Sandbox sandbox;
  std::string err;
  if (!SetUpStockDebian(sandbox, &err)) GTEST_SKIP() << err;
  RunResult run = RunPlaybook(sandbox, kPlainTmp, "--check", "echo \"== /tmp\"; ls -A /tmp\n");

  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_NE(Recap(run).find("changed=1 "), std::string::npos) << Recap(run);
  EXPECT_EQ(Outcome(run, "Preview the installation"), "changed");
  for (const char* line : {"\"+ /etc/Quorvane.conf\"", "\"~ /etc/mail/sendmail.mc\"",
                           "\"+ /etc/xinetd.d/ipop3\"", "\"Nothing was changed on this host.\""}) {
    EXPECT_NE(run.output.find(line), std::string::npos) << line;
  }
  // The scratch folders of the role and of the preview are gone too.
  EXPECT_TRUE(run.output.ends_with("== /tmp\n")) << run.output;
  EXPECT_EQ(ChangedOnTheHost(run.changes), std::vector<std::string>{});
}

TEST(AnsibleRoleScenarioTest, OnStockDebianInstallsChecksAndThenHasNothingToDo) {
  Sandbox sandbox;
  std::string err;
  if (!SetUpStockDebian(sandbox, &err)) GTEST_SKIP() << err;

  // A running mail and DNS server: installed, its domain listed, checked.
  RunResult first = RunPlaybook(
      sandbox, "for d in named sendmail xinetd; do /etc/init.d/$d start >/dev/null 2>&1; done\n",
      "");
  EXPECT_EQ(first.exit_status, 0) << first.output;
  EXPECT_NE(Recap(first).find("failed=0 "), std::string::npos) << Recap(first);
  EXPECT_EQ(Outcome(first, "Install the Quorvane server"), "changed") << first.output;
  EXPECT_EQ(Outcome(first, "Add the missing virtual mail domains"), "changed");
  EXPECT_EQ(Outcome(first, "Check that the service works"), "ok");
  EXPECT_NE(sandbox.ReadAfter(InFolder("/etc/VirtualDomains")).value_or("").find("example.test"),
            std::string::npos);

  // After a boot: already installed, nothing to do, and it still works.
  RunResult second = RunPlaybook(sandbox, kBoot, "");
  EXPECT_EQ(second.exit_status, 0) << second.output;
  EXPECT_NE(Recap(second).find("changed=0 "), std::string::npos) << second.output;
  EXPECT_NE(Recap(second).find("failed=0 "), std::string::npos) << Recap(second);
  EXPECT_EQ(Outcome(second, "Install the Quorvane server"), "ok");
  EXPECT_EQ(Outcome(second, "Check that the service works"), "ok");
}

TEST(AnsibleRoleScenarioTest, AnswerWithAControlCharacterFailsBeforeAnythingRuns) {
  struct Case {
    const char* variable;
    const char* value;  // a YAML double-quoted scalar
  };
  const Case kCases[] = {
      // A line end would give the next question ("Do want to start
      // Quorvane now?") an answer of its own.
      {"qvinstall_windows_address", "\"192.168.1.20\\ny\""},
      {"qvinstall_ns1", "\"ns1.example.test.\\r\""},
      {"qvinstall_folder", "\"/opt/qv\\e[2J\""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.variable);
    Sandbox sandbox;
    SeedStandardHost(sandbox);
    sandbox.Seed(
        kPlaybook,
        Playbook("        " + std::string(c.variable) + ": " + c.value + "\n" +
                 (std::string(c.variable) == "qvinstall_windows_address" ? "" : StandardVars())));
    RunResult run = RunPlaybook(sandbox, "", "");

    EXPECT_NE(run.exit_status, 0) << run.output;
    EXPECT_EQ(Outcome(run, "Check that no answer holds a control character"), "fatal")
        << run.output;
    EXPECT_NE(run.output.find("which no answer may hold: " + std::string(c.variable)),
              std::string::npos)
        << run.output;
    EXPECT_EQ(ChangedOnTheHost(run.changes), std::vector<std::string>{});
  }
}

TEST(AnsibleRoleScenarioTest, JinjaInAnUnsafeAnswerIsInstalledAsText) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed(
      kPlaybook,
      Playbook(StandardVars("        qvinstall_ns1: !unsafe \"{{lookup('pipe','id')}}\"\n")));
  RunResult run = RunPlaybook(sandbox, "", "");

  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_NE(sandbox.ReadAfter("/etc/Quorvane.conf")
                .value_or("")
                .find("\nns1 \"{{lookup('pipe','id')}}\"\n"),
            std::string::npos)
      << sandbox.ReadAfter("/etc/Quorvane.conf").value_or("");
}

TEST(AnsibleRoleScenarioTest, RefusedAnswerFailsTheTaskWithTheStageLines) {
  struct Case {
    const char* before;
    const char* arguments;
    const char* task;
  };
  const Case kCases[] = {
      {"", "", "Report a failed installation"},
      {kPlainTmp, "--check", "Report a failed preview"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.task);
    Sandbox sandbox;
    SeedMailHost(sandbox);
    // The mail part, with "n" to creating the missing popusers group.
    sandbox.Seed(kPlaybook, Playbook(StandardVars("        qvinstall_mail: true\n"
                                                  "        qvinstall_create_popusers: false\n")));
    RunResult run = RunPlaybook(sandbox, c.before, c.arguments);

    EXPECT_NE(run.exit_status, 0) << run.output;
    EXPECT_NE(Recap(run).find("failed=1"), std::string::npos) << Recap(run);
    size_t task = run.output.find("TASK [qvinstall : " + std::string(c.task) + "]");
    ASSERT_NE(task, std::string::npos) << run.output;
    const std::string report = run.output.substr(task, run.output.find("\nTASK", task) - task);
    for (const char* line :
         {"Create a popusers group first", "Error while getting Quorvane server configuration",
          "Operation canceled", "Installation aborted"}) {
      EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
    }
    // The preview's report of what the failed run would leave is not among them.
    EXPECT_EQ(report.find("==="), std::string::npos) << report;
    EXPECT_FALSE(sandbox.StatAfter("/etc/Quorvane.conf"));
  }
}

TEST(AnsibleRoleScenarioTest, FailedCheckFailsThePlay) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed(kPlaybook, Playbook(StandardVars()));
  // Another program holds the service's port and hangs up on every client.
  const std::string squatter =
      "python3 -c 'import socket\n"
      "s = socket.socket()\n"
      "s.bind((\"\", 33333))\n"
      "s.listen()\n"
      "print(\"listening\", flush=True)\n"
      "while True: s.accept()[0].close()' > /tmp/squatter &\n"
      "for i in $(seq 100); do grep -q listening /tmp/squatter && break; sleep 0.1; done\n";
  RunResult run = RunPlaybook(sandbox, squatter, "");

  EXPECT_NE(run.exit_status, 0) << run.output;
  EXPECT_EQ(Outcome(run, "Check that the service works"), "fatal") << run.output;
  EXPECT_NE(run.output.find("The first broken link: Quorvane server answers on port 33333"),
            std::string::npos)
      << run.output;
}

// Runs the Python program `code` in the sandbox, in the role's folder.
RunResult RunPython(const std::string& code) {
  Sandbox sandbox;
  RunOptions options;
  options.working_dir = kRole;
  return sandbox.Run({"python3", "-c", "import yaml\n" + code}, options);
}

TEST(AnsibleRoleScenarioTest, EveryQuestionHasAVariableNamedAfterItsKey) {
  RunResult run = RunPython(
      "answers = yaml.safe_load(open('vars/main.yml'))['qvinstall_answers']\n"
      "for key, value in answers.items(): print(key, value)\n");
  std::string expected;
  for (const AnswerKey& key : kAnswerKeys) {
    expected += std::string(key.name) + " {{ qvinstall_" + std::string(key.name) + " }}\n";
  }
  EXPECT_EQ(run.output, expected);
}

TEST(AnsibleRoleScenarioTest, ArgumentSpecsDocumentEveryVariableWithItsDefault) {
  RunResult run = RunPython(
      "defaults = yaml.safe_load(open('defaults/main.yml'))\n"
      "options = yaml.safe_load(open('meta/main.yml'))"
      "['argument_specs']['main']['options']\n"
      "for name in sorted(set(defaults) | set(options)):\n"
      "  if name not in defaults or name not in options or\\\n"
      "      options[name].get('default') != defaults[name]:\n"
      "    print(name, defaults.get(name), options.get(name, {}).get('default'))\n");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.output, "");
}

TEST(AnsibleRoleScenarioTest, PassesAnsibleLintAtItsProductionProfile) {
  Sandbox sandbox;
  RunOptions options;
  options.working_dir = QV_SOURCE_DIR "/contrib/ansible";
  options.timeout_seconds = 180;
  RunResult run = sandbox.Run({"/bin/sh", "-c",
                               "ansible-lint --offline --nocolor --profile production "
                               "site.yml roles/qvinstall 2>&1"},
                              options);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_NE(run.output.find("Passed with production profile: 0 failure(s), 0 warning(s)"),
            std::string::npos)
      << run.output;
}

}  // namespace
