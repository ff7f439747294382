#pragma once

// The start-of-authority record a new zone gets from the zone defaults of
// the service's configuration file: the primary name server `ns1` and the four times.

#include <stdint.h>
#include <time.h>

#include <string>

struct ZoneDefaults {
  std::string ns1;  // "@" names the zone itself
  uint32_t refresh = 0;
  uint32_t retry = 0;
  uint32_t expire = 0;
  uint32_t ttl = 0;
};

// The serial of a zone made at `when` (UTC): YYYYMMDD followed by 01.
uint32_t ZoneSerial(time_t when);

// A "$TTL" line and the SOA record in zone-file text, every line ending in a
// line feed. `ns1` is written as given when it is "@" or a single label
// (both relative to the zone), and with a final dot when it holds a dot, so
// that a name typed without one is not taken as relative.
std::string RenderSoaRecord(const ZoneDefaults& defaults, uint32_t serial);
