#pragma once

// The daemon's line protocol. The client sends one request a line (ended by
// LF or CR LF; commands without regard to case); every answer line ends in
// CR LF and starts with "+OK" or "-ERR". A multi-line answer ends with a
// line holding only ".".

#include <stddef.h>
#include <stdint.h>

#include <string>

// The longest request line, without its line end.
constexpr size_t kMaxRequestLine = 512;

// What the daemon tells about itself.
struct ServerStatus {
  uint32_t port = 0;
  size_t clients = 0;  // connected now, the asking one included
  long long uptime_seconds = 0;
  std::string zone_defaults;  // the SOA text, lines ended by line feeds
};

struct Reply {
  std::string text;    // complete answer lines
  bool close = false;  // close the connection after sending it
};

// The line a client gets on connecting.
std::string Greeting();
// The answer to one request line (without its line feed).
Reply Answer(const std::string& request, const ServerStatus& status);
// Sent before closing a connection idle for `seconds`.
std::string IdleFarewell(uint32_t seconds);
// Sent before closing a connection whose request line is too long.
std::string OverlongFarewell();
