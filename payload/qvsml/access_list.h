#pragma once

// The service's access list, kAccessListFile in the installation's etc
// folder: the IPv4 addresses
// of the machines that may connect, one a line, in dotted decimal. Lines
// starting with "#" and blank lines are ignored.

#include <netinet/in.h>

#include <string>
#include <vector>

struct AccessList {
  std::vector<in_addr_t> addresses;  // network byte order

  // Whether `address` (network byte order) is listed.
  bool Allows(in_addr_t address) const;
};

// The access list's path under `ins_folder`.
std::string AccessListPath(const std::string& ins_folder);

// Fills `list` from the file's text. False with `err` naming the line
// ("line 3: ...") that is not an address.
bool ParseAccessList(const std::string& text, AccessList* list, std::string* err);

// Reads and parses the list at `path`; `err` starts with the path.
bool ReadAccessList(const std::string& path, AccessList* list, std::string* err);
