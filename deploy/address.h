#pragma once

// The IPv4 address of the administrator's Windows machine, as asked for the
// service's access list.

#include <cstdint>
#include <string>
#include <string_view>

class Console;

// True when `line` is an acceptable address; fills `parts` only then. Parts
// one to three run up to the next dot; part four is read up to its first
// non-digit. Every part is 0 to 254, the first and the fourth are not 0.
bool ParseAddress(std::string_view line, uint8_t parts[4]);

// Dotted decimal without leading zeros, e.g. "10.1.0.9".
std::string FormatAddress(const uint8_t parts[4]);

// Asks for the address until an answer is accepted. False when standard
// input ended (already reported: line end printed, errno ENODATA).
bool AskAddress(Console& console, uint8_t parts[4]);
