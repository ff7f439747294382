#pragma once

// The daemon's network side: one listening TCP socket on all IPv4
// addresses, one process, every connection served from one poll loop.

#include <stdint.h>

#include <functional>
#include <string>

#include "payload/quorvane/service_log.h"
#include "payload/qvsml/access_list.h"

struct ServerSettings {
  uint32_t port = 0;
  uint32_t idle_seconds = 0;  // 0: never disconnect an idle client
  AccessList access;
  std::string zone_defaults;
};

// A listening socket on `port` of every IPv4 address; -1 with `err` saying
// why it cannot listen there.
int OpenListener(uint32_t port, std::string* err);

// Fills `settings` again from the files they come from; false with `err`.
using SettingsLoader = std::function<bool(ServerSettings* settings, std::string* err)>;

// Serves clients on `listener` until SIGTERM or SIGINT. SIGHUP calls
// `reload`; a failed reload keeps the settings in force. Logs every
// connection, refusal and disconnection. Expects SIGTERM, SIGINT and
// SIGHUP to be blocked, and unblocks them only while it waits.
void Serve(int listener, ServerSettings settings, const SettingsLoader& reload, ServiceLog& log);

// Blocks the three signals Serve handles.
void BlockServerSignals();
