// Whole installations without the mail part, through the real installer.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/installer_run.h"
#include "tests/sandbox.h"
#include "tests/transcript.h"

namespace {

constexpr char kFolder[] = "/usr/local/quorvane";

std::string ServerDialogue() {
  return Line("Getting Quorvane server configuration...") +
         DefaultPrompt("Enter tcp port for Quorvane server (Default: ", "33333") +
         DefaultPrompt("Enter Auto disconnect time (in seconds) for Quorvane server (Default: ",
                       "30") +
         DefaultPrompt("Enter installation folder for Quorvane server (Default: ", kFolder) +
         Line("Success");
}

std::string DnsDialogue() {
  return Line("Getting DNS configuration...") + Line("Which version of BIND you are using?") +
         Line("1.\tBIND 8.*") + Line("2.\tBIND 9.*") + Line("Enter your choice (Default: 2)") +
         "Press Enter for Default: " + Line("\tOK") + Line("") +
         Line("Checking DNS configurationg file...\tOK") +
         Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
         Line("Checking DNS process id file...\t\tOK") +
         DefaultPrompt("Enter default value for the Primary Name Server: (Default: ", "@") +
         DefaultPrompt("Enter default value of Refresh time for DNS: (Default: ", "28800") +
         DefaultPrompt("Enter default value of Retry time for DNS: (Default: ", "7200") +
         DefaultPrompt("Enter default value of Expire time for DNS: (Default: ", "604800") +
         DefaultPrompt("Enter default value of ttl for DNS: (Default: ", "86400") + Line("Success");
}

std::string Ending() {
  return Line("Copying files...") + Line("Success") + Line("Creating configuration file...") +
         Line("Success") + "Do want to start Quorvane now? (Y/N): " +
         Line("Quorvane server start: this package carries a placeholder for the server program") +
         Line("") + Line("Use command 'quorvane {start|stop|restart}'") +
         Line("to start, stop or restart Quorvane server.");
}

std::string DefaultRunTranscript() {
  return Line("Extracting the package...") +
         Line("Do you want to install sendmail controller? (Y/N): ") + ServerDialogue() +
         DnsDialogue() + Line("Creating required folders...") +
         "\nEnter IP address of your windows Quorvane machine: " + Line("Success") + Ending();
}

std::string In(const std::string& relative) { return std::string(kFolder) + relative; }

mode_t ModeAfter(const Sandbox& sandbox, const std::string& path) {
  auto st = sandbox.StatAfter(path);
  return st ? st->st_mode & 07777 : 0;
}

TEST(InstallScenarioTest, AllDefaultsWithoutMailPart) {
  Sandbox sandbox;
  SeedStandardHost(sandbox);
  RunResult run = RunInstaller(sandbox, kDefaultAnswers);

  EXPECT_TRUE(SameTranscript(DefaultRunTranscript(), run.output));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.changes.created,
            (std::vector<std::string>{
                "/etc/Quorvane.conf", "/etc/named.conf.qvbackup", "/usr/bin/quorvane",
                "/usr/lib/libqvdns-0.1.so", "/usr/lib/libqvsml-0.1.so", kFolder, In("/bin"),
                In("/bin/libqvdns-0.1.so"), In("/bin/libqvsml-0.1.so"), In("/bin/quorvane"),
                In("/bin/qvremove"), In("/etc"), In("/etc/hosts.allow"), In("/log"), kInitLog}));
  EXPECT_EQ(run.changes.changed, std::vector<std::string>{});
  EXPECT_EQ(run.changes.deleted, std::vector<std::string>{});

  auto conf = sandbox.ReadAfter("/etc/Quorvane.conf");
  ASSERT_TRUE(conf);
  EXPECT_EQ(*conf,
            "#  Configuration file for Quorvane\n"
            "DNSType \"BIND9\"\n"
            "Port 33333\n"
            "NamedConfFile \"/etc/named.conf\"\n"
            "NamedPIDFile \"/var/run/named/named.pid\"\n"
            "SendMailPIDFile \"\"\n"
            "AutoDisconnectTime 30\n"
            "Refresh 28800\n"
            "Retry 7200\n"
            "Expire 604800\n"
            "ttl 86400\n"
            "ns1 \"@\"\n"
            "InsFolder \"/usr/local/quorvane\"\n"
            "RFolder \"/var/quorvane\"\n");
  EXPECT_EQ(conf->size(), 288u);
  EXPECT_EQ(ModeAfter(sandbox, "/etc/Quorvane.conf"), 0644u);

  for (const char* folder : {"", "/etc", "/log", "/bin"})
    EXPECT_EQ(ModeAfter(sandbox, In(folder)), 0755u) << folder;
  EXPECT_EQ(sandbox.ReadAfter(In("/etc/hosts.allow")),
            "#This file lists the  IP of the hosts which are\n"
            "#allowed to use the Quorvane server.\n"
            "127.0.0.1\n"
            "192.168.1.20\n");
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvdns-0.1.so"), In("/bin/libqvdns-0.1.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/lib/libqvsml-0.1.so"), In("/bin/libqvsml-0.1.so"));
  EXPECT_EQ(sandbox.LinkTargetAfter("/usr/bin/quorvane"), In("/bin/quorvane"));
  // Copies keep the package's modes, less the umask.
  EXPECT_EQ(ModeAfter(sandbox, In("/bin/quorvane")), 0755u);
  EXPECT_EQ(ModeAfter(sandbox, In("/bin/qvremove")), 0755u);
  EXPECT_EQ(sandbox.ReadAfter("/etc/named.conf.qvbackup"), sandbox.ReadAfter("/etc/named.conf"));
  EXPECT_FALSE(sandbox.StatAfter("/QVInstallation"));
  EXPECT_EQ(sandbox.ReadAfter(kInitLog), "named restart\n");  // only named, before the stages
}

}  // namespace
