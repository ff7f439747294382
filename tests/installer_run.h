#pragma once

// Running the built installer in a sandbox on a typical host.

#include <string>

#include "tests/sandbox.h"

// A whole run without the mail part: mail question, port, disconnect time,
// installation folder, BIND menu, name server, four zone times, IP address,
// start question.
inline constexpr char kDefaultAnswers[] =
    "n\n"
    "\n\n\n"
    "\n"
    "\n"
    "\n\n\n\n"
    "192.168.1.20\n"
    "y\n";

// A whole run with the mail part, on SeedMailHost: as above plus creating the
// popusers group and the mail root folder.
inline constexpr char kDefaultMailAnswers[] =
    "y\n"
    "\n\n\n"
    "y\n"
    "\n"
    "\n"
    "\n"
    "\n\n\n\n"
    "192.168.1.20\n"
    "y\n";

// Where the installer unpacks its package; a run leaves no such folder.
inline constexpr char kWorkingFolder[] = "/QVInstallation";
// Where the installer puts the service when the default is kept.
inline constexpr char kDefaultInstallationFolder[] = "/usr/local/quorvane";

// The folder holding the built installer and decode tool.
std::string DistDir();

// Seeds init scripts, /etc/named.conf and named's pid file.
void SeedStandardHost(Sandbox& sandbox);

// Seeds the standard host plus sendmail's configuration and pid file, an
// xinetd pop3 entry and linuxconf's configuration.
void SeedMailHost(Sandbox& sandbox);

// Runs DistDir()/qvinstall from DistDir() with `answers` on standard input.
RunResult RunInstaller(Sandbox& sandbox, const std::string& answers, RunOptions options = {});
