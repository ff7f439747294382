// The Ansible role of contrib/ansible, run by ansible-playbook with the local
// connection inside the sandbox, as it would run on one host of a fleet.

#include <gtest/gtest.h>

#include <string>

#include "sandbox/sandbox.h"
#include "tests/installer_run.h"

namespace {

constexpr char kPlaybook[] = "/root/qvplay/site.yml";

// A playbook applying the role to this host with the given role variables
// (YAML lines, indented for the role's `vars`).
std::string Playbook(const std::string& vars) {
  return "- hosts: localhost\n"
         "  gather_facts: false\n"
         "  roles:\n"
         "    - role: qvinstall\n"
         "      vars:\n"
         "        qvinstall_archive: " QV_RELEASE_ARCHIVE
         "\n"
         "        qvinstall_folder_answers: [\"192.168.1.20\"]\n" +
         vars;
}

RunResult RunPlaybook(Sandbox& sandbox) {
  RunOptions options;
  options.timeout_seconds = 180;
  return sandbox.Run({"env", "LC_ALL=C.UTF-8", "ANSIBLE_ROLES_PATH=" QV_ANSIBLE_ROLES,
                      "ANSIBLE_NOCOLOR=1", "ansible-playbook", "-i", "localhost,", "-c", "local",
                      "-e", "ansible_python_interpreter=/usr/bin/python3", kPlaybook},
                     options);
}

// The PLAY RECAP counts for localhost, e.g. "ok=6 changed=2 ... failed=0".
std::string Recap(const RunResult& run) {
  size_t at = run.output.rfind("localhost");
  return at == std::string::npos ? "" : run.output.substr(at, run.output.find('\n', at) - at);
}

TEST(AnsibleRoleScenarioTest, InstallsOnceAndThenHasNothingToDo) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  sandbox.Seed(kPlaybook, Playbook(""));

  RunResult first = RunPlaybook(sandbox);
  EXPECT_EQ(first.exit_status, 0) << first.output;
  EXPECT_NE(Recap(first).find("failed=0"), std::string::npos) << Recap(first);
  EXPECT_EQ(Recap(first).find("changed=0"), std::string::npos) << Recap(first);
  EXPECT_TRUE(sandbox.ReadAfter("/etc/Quorvane.conf"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), InFolder("/bin/quorvane"));

  RunResult second = RunPlaybook(sandbox);
  EXPECT_EQ(second.exit_status, 0) << second.output;
  EXPECT_NE(Recap(second).find("changed=0 "), std::string::npos) << Recap(second);
  EXPECT_NE(Recap(second).find("failed=0 "), std::string::npos) << Recap(second);
}

TEST(AnsibleRoleScenarioTest, RefusedAnswerFailsTheTaskWithTheStageLines) {
  Sandbox sandbox;
  SeedMailHost(sandbox);
  // The mail part, defaults, then "n" to creating the missing popusers group.
  sandbox.Seed(kPlaybook,
               Playbook("        qvinstall_mail_answers: [\"y\"]\n"
                        "        qvinstall_server_answers: [\"\", \"\", \"\", \"n\"]\n"));
  RunResult run = RunPlaybook(sandbox);

  EXPECT_NE(run.exit_status, 0) << run.output;
  EXPECT_NE(Recap(run).find("failed=1"), std::string::npos) << Recap(run);
  size_t task = run.output.find("TASK [qvinstall : Report a failed installation]");
  ASSERT_NE(task, std::string::npos) << run.output;
  std::string report = run.output.substr(task);
  for (const char* line :
       {"Create a popusers group first", "Error while getting Quorvane server configuration",
        "Operation canceled", "Installation aborted"}) {
    EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
  }
  EXPECT_FALSE(sandbox.StatAfter("/etc/Quorvane.conf"));
}

}  // namespace
