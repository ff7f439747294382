// Properties shared by the installer's address rules and the service's
// access list: an address the installer accepts and writes as it does
// (under a comment line), the service reads back as the one machine it
// allows; a list the service accepts, written again one address a line,
// reads to the same addresses.

#include <arpa/inet.h>

#include <string>

#include "deploy/address.h"
#include "fuzz/fuzz_check.h"
#include "payload/qvsml/access_list.h"

namespace {

void CheckWrittenAddressReads(const std::string& answer) {
  uint8_t parts[4];
  if (!ParseAddress(answer, parts)) return;
  AccessList list;
  std::string err;
  FUZZ_CHECK(ParseAccessList("# machines allowed\n" + FormatAddress(parts) + "\n", &list, &err));
  FUZZ_CHECK(list.addresses.size() == 1);
  in_addr_t expected = htonl(uint32_t{parts[0]} << 24 | uint32_t{parts[1]} << 16 |
                             uint32_t{parts[2]} << 8 | parts[3]);
  FUZZ_CHECK(list.Allows(expected));
}

void CheckReadListWritesAgain(const std::string& text) {
  AccessList list;
  std::string err;
  if (!ParseAccessList(text, &list, &err)) {
    FUZZ_CHECK(!err.empty());
    return;
  }
  std::string written;
  for (in_addr_t address : list.addresses) {
    char dotted[INET_ADDRSTRLEN];
    struct in_addr in = {address};
    FUZZ_CHECK(inet_ntop(AF_INET, &in, dotted, sizeof dotted));
    written += std::string(dotted) + "\n";
  }
  AccessList again;
  FUZZ_CHECK(ParseAccessList(written, &again, &err));
  FUZZ_CHECK(again.addresses == list.addresses);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(AsText(data, size));
  CheckWrittenAddressReads(text);
  CheckReadListWritesAgain(text);
  return 0;
}
