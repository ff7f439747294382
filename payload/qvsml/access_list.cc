#include "payload/qvsml/access_list.h"

#include <arpa/inet.h>

#include <algorithm>

#include "common/layout.h"
#include "payload/qvsml/text_file.h"

bool AccessList::Allows(in_addr_t address) const {
  return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

std::string AccessListPath(const std::string& ins_folder) {
  return ins_folder + kEtcSubfolder + "/" + kAccessListFile;
}

bool ParseAccessList(const std::string& text, AccessList* list, std::string* err) {
  AccessList parsed;
  std::vector<std::string> lines = SplitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = TrimBlanks(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    struct in_addr address;
    if (inet_pton(AF_INET, line.c_str(), &address) != 1) {
      *err = "line " + std::to_string(i + 1) + ": not an IPv4 address: " + line;
      return false;
    }
    parsed.addresses.push_back(address.s_addr);
  }
  *list = std::move(parsed);
  return true;
}

bool ReadAccessList(const std::string& path, AccessList* list, std::string* err) {
  std::string text;
  if (!ReadTextFile(path, &text, err)) return false;
  if (!ParseAccessList(text, list, err)) {
    *err = path + ": " + *err;
    return false;
  }
  return true;
}
