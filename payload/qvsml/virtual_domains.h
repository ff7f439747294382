#pragma once

// The virtual domain list, kVirtualDomainsFile in the installation's etc
// folder: one domain a line;
// lines starting with "#" and blank lines are ignored. sendmail reads the
// same file as its class of virtual domains.

#include <string>
#include <vector>

// The virtual domain list's path under `ins_folder`.
std::string VirtualDomainsPath(const std::string& ins_folder);

// The domains listed in `text`, in lower case, in file order.
std::vector<std::string> ParseVirtualDomains(const std::string& text);

// Reads the list at `path`; false with `err` when it cannot be read.
bool ReadVirtualDomains(const std::string& path, std::vector<std::string>* domains,
                        std::string* err);

// Whether `domain` (any case, a final dot allowed) is in `domains`.
bool IsVirtualDomain(const std::vector<std::string>& domains, const std::string& domain);
