// Property of the configuration writer: whatever answers the dialogues
// accepted, the file is 14 lines, a comment then one key each in a fixed
// order, and reading it back gives every value the settings held.

#include <string.h>

#include <sstream>
#include <vector>

#include "base/settings.h"
#include "config/conf_file.h"
#include "fuzz/fuzz_check.h"

namespace {

struct Entry {
  const char* key;
  const char* text;  // nullptr for a number
  uint32_t number;
};

void FillText(FuzzedDataProvider& provider, TextField& field) {
  std::string text = ConsumeFieldText(provider);
  FUZZ_CHECK(StoreText(field, text));
}

// Reads "key value" lines: a text value between double quotes, a number
// in decimal. False when a line does not have the expected key and form.
bool ReadsBack(const std::string& conf, const std::vector<Entry>& entries) {
  std::istringstream lines(conf);
  std::string line;
  if (!std::getline(lines, line) || line != "#  Configuration file for Quorvane") return false;
  for (const Entry& entry : entries) {
    if (!std::getline(lines, line)) return false;
    std::string key = std::string(entry.key) + ' ';
    if (!line.starts_with(key)) return false;
    std::string value = line.substr(key.size());
    if (entry.text) {
      if (value.size() < 2 || value.front() != '"' || value.back() != '"') return false;
      if (value.substr(1, value.size() - 2) != entry.text) return false;
    } else {
      char* end = nullptr;
      unsigned long number = strtoul(value.c_str(), &end, 10);
      if (value.empty() || *end || number != entry.number) return false;
    }
  }
  return !std::getline(lines, line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  std::istringstream in;
  std::ostringstream out;
  Console console(in, out);
  CGeneral settings(console);
  strcpy(settings.DNSType, provider.ConsumeBool() ? "BIND8" : "BIND9");
  for (TextField* field : {&settings.InsFolder, &settings.RFolder, &settings.NamedConfFile,
                           &settings.NamedPIDFile, &settings.SendMailPIDFile, &settings.ns1}) {
    FillText(provider, *field);
  }
  for (uint32_t* number : {&settings.Port, &settings.AutoDisconnectTime, &settings.Refresh,
                           &settings.Retry, &settings.Expire, &settings.ttl}) {
    *number = provider.ConsumeIntegral<uint32_t>();
  }
  const std::vector<Entry> entries = {
      {"DNSType", settings.DNSType, 0},
      {"Port", nullptr, settings.Port},
      {"NamedConfFile", settings.NamedConfFile, 0},
      {"NamedPIDFile", settings.NamedPIDFile, 0},
      {"SendMailPIDFile", settings.SendMailPIDFile, 0},
      {"AutoDisconnectTime", nullptr, settings.AutoDisconnectTime},
      {"Refresh", nullptr, settings.Refresh},
      {"Retry", nullptr, settings.Retry},
      {"Expire", nullptr, settings.Expire},
      {"ttl", nullptr, settings.ttl},
      {"ns1", settings.ns1, 0},
      {"InsFolder", settings.InsFolder, 0},
      {"RFolder", settings.RFolder, 0},
  };
  std::string conf = RenderConf(settings);
  FUZZ_CHECK(CountLines(conf) == 14 && conf.back() == '\n');
  FUZZ_CHECK(ReadsBack(conf, entries));
  return 0;
}
