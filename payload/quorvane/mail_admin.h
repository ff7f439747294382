#pragma once

// Administration of the mail part from the console:
//   quorvane domain list|add NAME|remove NAME   (the virtual domain list)
//   quorvane user list [DOMAIN]|add|remove|passwd USER@DOMAIN   (the domain's user list)
// Every edit replaces the list in one step (see list_file.h). Returns the
// exit status: 0 done, 1 refused or failed, 2 wrong arguments.

#include <string>
#include <vector>

#include "payload/qvsml/service_conf.h"

int DomainCommand(const ServiceConf& conf, const std::vector<std::string>& args);
int UserCommand(const ServiceConf& conf, const std::vector<std::string>& args);
