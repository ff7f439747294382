// quorvane: the Quorvane server program.
//   quorvane start|stop|restart|status
//   quorvane domain ... | user ...      (see mail_admin.h)
//   quorvane zone-defaults              the SOA record a new zone gets
//   quorvane check                      the installation works (check_command.h)

#include <stdio.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "common/layout.h"
#include "payload/quorvane/check_command.h"
#include "payload/quorvane/mail_admin.h"
#include "payload/quorvane/service_control.h"
#include "payload/qvdns/soa_record.h"
#include "payload/qvsml/service_conf.h"

namespace {

// The usage on `to`; `status` is the program's exit status.
int Usage(FILE* to, int status) {
  fprintf(to,
          "usage: quorvane {start|stop|restart|status}\n"
          "       quorvane domain {list|add NAME|remove NAME}\n"
          "       quorvane user {list [DOMAIN]|add|remove|passwd USER@DOMAIN}\n"
          "       quorvane zone-defaults\n"
          "       quorvane check\n"
          "       quorvane --help | --version\n");
  return status;
}

int ZoneDefaultsCommand(const ServiceConf& conf) {
  ZoneDefaults defaults{conf.ns1, conf.Refresh, conf.Retry, conf.Expire, conf.ttl};
  printf("%s", RenderSoaRecord(defaults, ZoneSerial(time(nullptr))).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(stderr, 2);
  const std::string command = argv[1];
  if (command == "--help" && argc == 2) return Usage(stdout, 0);
  if (command == "--version" && argc == 2) {
    printf("quorvane %s\n", QV_VERSION);
    return 0;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  const bool init_command =
      command == "start" || command == "stop" || command == "restart" || command == "status";
  const bool known = init_command || command == "domain" || command == "user" ||
                     ((command == "zone-defaults" || command == "check") && args.empty());
  if (!known || (init_command && !args.empty())) return Usage(stderr, 2);

  ServiceConf conf;
  std::string err;
  if (!ReadServiceConf(kConfFile, &conf, &err)) {
    fprintf(stderr, "quorvane: %s\n", err.c_str());
    if (command == "status") return kStatusUnknown;
    return init_command ? kExitNotConfigured : 1;
  }
  if (command == "start") return StartService(conf);
  if (command == "stop") return StopService(conf);
  if (command == "restart") return RestartService(conf);
  if (command == "status") return ServiceStatus(conf);
  if (command == "domain") return DomainCommand(conf, args);
  if (command == "user") return UserCommand(conf, args);
  if (command == "check") return CheckCommand(conf);
  return ZoneDefaultsCommand(conf);
}
