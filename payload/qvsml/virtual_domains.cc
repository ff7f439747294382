#include "payload/qvsml/virtual_domains.h"

#include <algorithm>

#include "common/layout.h"
#include "payload/qvsml/safe_name.h"
#include "payload/qvsml/text_file.h"

std::string VirtualDomainsPath(const std::string& ins_folder) {
  return ins_folder + kEtcSubfolder + "/" + kVirtualDomainsFile;
}

std::vector<std::string> ParseVirtualDomains(const std::string& text) {
  std::vector<std::string> domains;
  for (const std::string& line : SplitLines(text)) {
    const std::string domain = TrimBlanks(line);
    if (domain.empty() || domain[0] == '#') continue;
    domains.push_back(LowerCase(domain));
  }
  return domains;
}

bool ReadVirtualDomains(const std::string& path, std::vector<std::string>* domains,
                        std::string* err) {
  std::string text;
  if (!ReadTextFile(path, &text, err)) return false;
  *domains = ParseVirtualDomains(text);
  return true;
}

bool IsVirtualDomain(const std::vector<std::string>& domains, const std::string& domain) {
  std::string wanted = LowerCase(domain);
  if (!wanted.empty() && wanted.back() == '.') wanted.pop_back();
  return !wanted.empty() && std::find(domains.begin(), domains.end(), wanted) != domains.end();
}
