#pragma once

// Debian's sendmail, xinetd and openbsd-inetd running for real inside a
// sandbox: package layers, init scripts that really (re)start them in the
// sandbox's own network namespace, and runs that stop them by pid at the end.

#include <string>

#include "sandbox/sandbox.h"

enum class SuperServer { kXinetd, kInetd };

// Adds the layer holding sendmail-bin, sendmail-cf, m4, tcpd, fetchmail and
// the super server (the two conflict, so each has its own layer). False with `err`
// when the packages cannot be had.
bool AddMailDaemonLayer(Sandbox& sandbox, SuperServer server, std::string* err);

// Adds the layers of a stock Debian 12 mail and DNS server: the layer of
// AddMailDaemonLayer, and on top of it Debian's sendmail package (which
// brings sensible-mda, the local mailer of Debian's sendmail.cf; without
// it local mail stays in the queue) and bind9, as Debian's packages leave
// them. False with `err` when the packages cannot be had.
bool AddStockHostLayers(Sandbox& sandbox, SuperServer server, std::string* err);

// Seeds /etc/rc.d/init.d/{sendmail,xinetd,inet} that stop the daemon named
// by its pid file and start it again, logging their calls as the stand-ins
// do; a fully qualified /etc/hosts line; a root-owned mail queue as such
// hosts have; and the client script at kMailClient.
void SeedMailDaemons(Sandbox& sandbox);

// The Python client (tests/mail_client.py) inside the sandbox.
inline constexpr char kMailClient[] = "/usr/local/lib/qvtest/mail_client.py";

// Runs the built installer as RunInstaller does; the daemons its restarts
// started are stopped by their pid files when it ends.
RunResult RunInstallerWithDaemons(Sandbox& sandbox, const std::string& answers);

// Runs the shell `script` in the sandbox; whatever daemons the init
// scripts started are stopped by their pid files when it ends, even when
// it fails. Standard error is joined to the output.
RunResult RunWithDaemons(Sandbox& sandbox, const std::string& script, int timeout_seconds = 90);
