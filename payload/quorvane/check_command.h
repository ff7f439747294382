#pragma once

// quorvane check: the proof an administrator runs after installing. On the
// live host it follows the chain a message takes: the service answers on
// its port; with the mail part, sendmail accepts SMTP on localhost for a
// listed virtual domain, vdeliver delivers it, POP3 on localhost returns it
// through the super-server and vpop3d, and sendmail accepts the host's own
// local mail. It prints one line per link, names the first broken one, and
// leaves nothing behind: the user it sends to exists only for the check.

#include "payload/qvsml/service_conf.h"

// 0 when every link works, 1 otherwise.
int CheckCommand(const ServiceConf& conf);
