#include "payload/qvdns/soa_record.h"

namespace {

std::string AbsoluteName(const std::string& name) {
  if (name.find('.') == std::string::npos || name.back() == '.') return name;
  return name + ".";
}

std::string TimeLine(uint32_t value, const char* what) {
  return "\t\t\t" + std::to_string(value) + "\t; " + what + "\n";
}

}  // namespace

uint32_t ZoneSerial(time_t when) {
  struct tm date = {};
  if (!gmtime_r(&when, &date)) return 1;
  uint32_t day =
      static_cast<uint32_t>((date.tm_year + 1900) * 10000 + (date.tm_mon + 1) * 100 + date.tm_mday);
  return day * 100 + 1;
}

std::string RenderSoaRecord(const ZoneDefaults& defaults, uint32_t serial) {
  const std::string ns1 = defaults.ns1.empty() ? "@" : AbsoluteName(defaults.ns1);
  return "$TTL " + std::to_string(defaults.ttl) + "\n" +  //
         "@\tIN\tSOA\t" + ns1 + " hostmaster (\n" +       //
         TimeLine(serial, "serial") +                     //
         TimeLine(defaults.refresh, "refresh") +          //
         TimeLine(defaults.retry, "retry") +              //
         TimeLine(defaults.expire, "expire") +            //
         "\t\t\t" + std::to_string(defaults.ttl) + " )\t; minimum\n";
}
