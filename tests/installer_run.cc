#include "tests/installer_run.h"

namespace {

constexpr char kNamedConf[] = R"(// named configuration for example.test
options {
	directory "/var/named";
	pid-file "/var/run/named/named.pid";
	allow-query { any; };
	recursion no;
};

zone "." IN {
	type hint;
	file "named.ca";
};

zone "localhost" IN {
	type master;
	file "localhost.zone";
	allow-update { none; };
};

zone "0.0.127.in-addr.arpa" IN {
	type master;
	file "named.local";
	allow-update { none; };
};

zone "example.test" IN {
	type master;
	file "example.test.zone";
};
)";

constexpr char kSendmailCf[] = R"(# sendmail.cf for qvhost.example.test
V8/Berkeley
Cwlocalhost qvhost.example.test
Fw-o /etc/mail/local-host-names
DnMAILER-DAEMON
O QueueDirectory=/var/spool/mqueue
O PidFile=/var/run/sendmail.pid
O DeliveryMode=background

Scanonify=3
R$*			$: $1

Sparse=0
R$*			$: $1

Mlocal,		P=/usr/bin/procmail, F=lsDFMAw5:/|@qSPfhn9, S=EnvFromL/HdrFromL, R=EnvToL/HdrToL,
		T=DNS/RFC822/X-Unix,
		A=procmail -Y -a $h -d $u
Mprog,		P=/bin/sh, F=lsDFMoqeu9, S=EnvFromL/HdrFromL, R=EnvToL/HdrToL, D=$z:/,
		T=X-Unix/X-Unix/X-Unix,
		A=sh -c $u
)";

constexpr char kIpop3Entry[] = R"(# default: off
# description: The POP3 service allows remote users to access their mail \
#              using an POP3 client such as Netscape Communicator, mutt, \
#              or fetchmail.
service pop3
{
	socket_type		= stream
	wait			= no
	user			= root
	server			= /usr/sbin/ipop3d
	log_on_success		+= USERID
	log_on_failure		+= USERID
	disable			= yes
}
)";

constexpr char kLinuxconfConf[] =
    "DATE.dialog.timezone America/New_York\n"
    "netconf.hostname qvhost.example.test\n";

}  // namespace

std::string DistDir() { return QV_DIST_DIR; }

void SeedStandardHost(Sandbox& sandbox) {
  sandbox.SeedInitScripts();
  sandbox.Seed("/etc/named.conf", kNamedConf);
  sandbox.Seed("/var/run/named/named.pid", "1234\n");
}

void SeedMailHost(Sandbox& sandbox) {
  SeedStandardHost(sandbox);
  sandbox.Seed("/etc/sendmail.cf", kSendmailCf);
  sandbox.Seed("/var/run/sendmail.pid", "2345\n/usr/sbin/sendmail -bd -q1h\n");
  sandbox.Seed("/etc/xinetd.d/ipop3", kIpop3Entry);
  sandbox.Seed("/etc/conf.linuxconf", kLinuxconfConf);
}

RunResult RunInstaller(Sandbox& sandbox, const std::string& answers, RunOptions options) {
  options.working_dir = DistDir();
  options.stdin_text = answers;
  return sandbox.Run({DistDir() + "/qvinstall"}, options);
}
