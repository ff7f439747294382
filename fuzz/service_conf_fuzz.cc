// Properties shared by the installer's configuration writer and the
// service's reader: whatever answers the dialogues accepted, the reader
// takes the written file and gets every value back; a file the reader
// accepts holds texts the writer can write again, to the same values.

#include <string.h>

#include <sstream>

#include "base/settings.h"
#include "config/conf_file.h"
#include "fuzz/fuzz_check.h"
#include "payload/qvsml/service_conf.h"

namespace {

// Pairs each text field of the settings with the reader's.
struct TextPair {
  TextField CGeneral::*field;
  std::string ServiceConf::*value;
};
constexpr TextPair kTexts[] = {
    {&CGeneral::DNSType, &ServiceConf::DNSType},
    {&CGeneral::NamedConfFile, &ServiceConf::NamedConfFile},
    {&CGeneral::NamedPIDFile, &ServiceConf::NamedPIDFile},
    {&CGeneral::SendMailPIDFile, &ServiceConf::SendMailPIDFile},
    {&CGeneral::ns1, &ServiceConf::ns1},
    {&CGeneral::InsFolder, &ServiceConf::InsFolder},
    {&CGeneral::RFolder, &ServiceConf::RFolder},
};
struct NumberPair {
  uint32_t CGeneral::*field;
  uint32_t ServiceConf::*value;
};
constexpr NumberPair kNumbers[] = {
    {&CGeneral::Port, &ServiceConf::Port},
    {&CGeneral::AutoDisconnectTime, &ServiceConf::AutoDisconnectTime},
    {&CGeneral::Refresh, &ServiceConf::Refresh},
    {&CGeneral::Retry, &ServiceConf::Retry},
    {&CGeneral::Expire, &ServiceConf::Expire},
    {&CGeneral::ttl, &ServiceConf::ttl},
};

void ExpectSameValues(const CGeneral& settings, const ServiceConf& conf) {
  for (const TextPair& text : kTexts) FUZZ_CHECK(conf.*text.value == settings.*text.field);
  for (const NumberPair& number : kNumbers)
    FUZZ_CHECK(conf.*number.value == settings.*number.field);
}

// Written by the installer, read by the service.
void CheckWrittenFileReads(FuzzedDataProvider& provider) {
  std::istringstream in;
  std::ostringstream out;
  Console console(in, out);
  CGeneral settings(console);
  for (const TextPair& text : kTexts) {
    FUZZ_CHECK(StoreText(settings.*text.field, ConsumeFieldText(provider)));
  }
  for (const NumberPair& number : kNumbers) {
    settings.*number.field = provider.ConsumeIntegral<uint32_t>();
  }
  ServiceConf conf;
  std::string err;
  FUZZ_CHECK(ParseServiceConf(RenderConf(settings), &conf, &err));
  ExpectSameValues(settings, conf);
}

// Read by the service, written again by the installer, read again.
void CheckReadFileWritesAgain(const std::string& text) {
  ServiceConf conf;
  std::string err;
  if (!ParseServiceConf(text, &conf, &err)) {
    FUZZ_CHECK(!err.empty());
    return;
  }
  std::istringstream in;
  std::ostringstream out;
  Console console(in, out);
  CGeneral settings(console);
  for (const TextPair& pair : kTexts) {
    const std::string& value = conf.*pair.value;
    FUZZ_CHECK(value.find('"') == std::string::npos);
    for (char c : value) FUZZ_CHECK(!IsControl(c));
    if (!StoreText(settings.*pair.field, value)) return;  // longer than a field holds
  }
  for (const NumberPair& pair : kNumbers) settings.*pair.field = conf.*pair.value;
  ServiceConf again;
  FUZZ_CHECK(ParseServiceConf(RenderConf(settings), &again, &err));
  ExpectSameValues(settings, again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  CheckWrittenFileReads(provider);
  CheckReadFileWritesAgain(std::string(AsText(data, size)));
  return 0;
}
