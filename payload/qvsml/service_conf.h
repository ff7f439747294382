#pragma once

// The service's configuration (kConfFile in common/layout.h), as the
// installer writes it: a comment line, then one `Key "text"` or `Key number`
// line per setting.

#include <cstdint>
#include <string>

struct ServiceConf {
  std::string DNSType;
  uint32_t Port = 0;
  std::string NamedConfFile;
  std::string NamedPIDFile;
  std::string SendMailPIDFile;
  uint32_t AutoDisconnectTime = 0;
  uint32_t Refresh = 0;
  uint32_t Retry = 0;
  uint32_t Expire = 0;
  uint32_t ttl = 0;
  std::string ns1;
  std::string InsFolder;
  std::string RFolder;
};

// Fills `conf` from the file's text. False with `err` naming the line
// ("line 4: ...") for an unknown key, a malformed value or a repeated key,
// or naming the first key that has no line.
bool ParseServiceConf(const std::string& text, ServiceConf* conf, std::string* err);

// Reads and parses `path`; `err` starts with the path.
bool ReadServiceConf(const std::string& path, ServiceConf* conf, std::string* err);
