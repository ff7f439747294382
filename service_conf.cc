#include "payload/qvsml/service_conf.h"

#include <cstddef>
#include <vector>

#include "payload/qvsml/text_file.h"

namespace {

struct Field {
  const char* key;
  std::string ServiceConf::*text;  // set for a text field
  uint32_t ServiceConf::*number;   // set for a number field
};

const Field kFields[] = {
    {"DNSType", &ServiceConf::DNSType, nullptr},
    {"Port", nullptr, &ServiceConf::Port},
    {"NamedConfFile", &ServiceConf::NamedConfFile, nullptr},
    {"NamedPIDFile", &ServiceConf::NamedPIDFile, nullptr},
    {"SendMailPIDFile", &ServiceConf::SendMailPIDFile, nullptr},
    {"AutoDisconnectTime", nullptr, &ServiceConf::AutoDisconnectTime},
    {"Refresh", nullptr, &ServiceConf::Refresh},
    {"Retry", nullptr, &ServiceConf::Retry},
    {"Expire", nullptr, &ServiceConf::Expire},
    {"ttl", nullptr, &ServiceConf::ttl},
    {"ns1", &ServiceConf::ns1, nullptr},
    {"InsFolder", &ServiceConf::InsFolder, nullptr},
    {"RFolder", &ServiceConf::RFolder, nullptr},
};
constexpr size_t kFieldCount = sizeof kFields / sizeof kFields[0];

bool ParseNumber(const std::string& value, uint32_t* number) {
  if (value.empty() || value.size() > 10) return false;
  uint64_t parsed = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + static_cast<uint64_t>(c - '0');
  }
  if (parsed > UINT32_MAX) return false;
  *number = static_cast<uint32_t>(parsed);
  return true;
}

// A quoted text holds no quote of its own and no control character.
bool ParseText(const std::string& value, std::string* text) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return false;
  std::string inner = value.substr(1, value.size() - 2);
  for (unsigned char c : inner) {
    if (c == '"' || c < 0x20 || c == 0x7f) return false;
  }
  *text = inner;
  return true;
}

// One "Key value" line into `conf`; `seen` marks the keys already given.
bool ParseLine(const std::string& line, ServiceConf* conf, std::vector<bool>* seen,
               std::string* problem) {
  const size_t space = line.find(' ');
  const std::string key = line.substr(0, space);
  const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
  for (size_t i = 0; i < kFieldCount; ++i) {
    const Field& field = kFields[i];
    if (key != field.key) continue;
    if ((*seen)[i]) {
      *problem = key + " is given twice";
      return false;
    }
    (*seen)[i] = true;
    bool ok = field.text ? ParseText(value, &(conf->*field.text))
                         : ParseNumber(value, &(conf->*field.number));
    if (!ok) *problem = field.text ? key + " needs a quoted text" : key + " needs a number";
    return ok;
  }
  *problem = "unknown line";
  return false;
}

}  // namespace

bool ParseServiceConf(const std::string& text, ServiceConf* conf, std::string* err) {
  ServiceConf parsed;
  std::vector<bool> seen(kFieldCount, false);
  const std::vector<std::string> lines = SplitLines(text);
  for (size_t n = 0; n < lines.size(); ++n) {
    const std::string& line = lines[n];
    if (line.empty() || line[0] == '#') continue;
    std::string problem;
    if (!ParseLine(line, &parsed, &seen, &problem)) {
      *err = "line " + std::to_string(n + 1) + ": " + problem;
      return false;
    }
  }
  for (size_t i = 0; i < kFieldCount; ++i) {
    if (!seen[i]) {
      *err = std::string("no line for ") + kFields[i].key;
      return false;
    }
  }
  *conf = parsed;
  return true;
}

bool ReadServiceConf(const std::string& path, ServiceConf* conf, std::string* err) {
  std::string text;
  if (!ReadTextFile(path, &text, err)) return false;
  if (ParseServiceConf(text, conf, err)) return true;
  *err = path + ": " + *err;
  return false;
}
