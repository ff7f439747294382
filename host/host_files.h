#pragma once

// Where a distribution keeps the files whose paths the installer confirms,
// for a host that is not laid out as the installer's defaults expect.

#include <string>
#include <vector>

// The places of each file, the installer's default first.
extern const std::vector<std::string> kNamedConfPlaces;
extern const std::vector<std::string> kNamedPidPlaces;
extern const std::vector<std::string> kSendmailCfPlaces;
extern const std::vector<std::string> kSendmailPidPlaces;

// The path a confirmation starts from: `current` itself, unless it is the
// installer's default (the first of `places`), does not open, and the host
// does not keep its scripts in /etc/rc.d/init.d (where every default stays
// as it is): then the first of the other places that opens as a regular
// file, if any. `root` stands for "/" (empty on the host itself). Looks,
// changes nothing.
std::string StartingPath(const std::string& current, const std::vector<std::string>& places,
                         const std::string& root = "");
