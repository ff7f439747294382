#pragma once

// One POP3 command line, parsed without side effects: the verb, and its
// arguments checked for the shape RFC 1939 gives them. Anything else is
// refused with the text of the "-ERR" answer.

#include <cstdint>
#include <string>
#include <string_view>

enum class Pop3Verb {
  kUser,
  kPass,
  kStat,
  kList,
  kUidl,
  kRetr,
  kTop,
  kDele,
  kRset,
  kNoop,
  kQuit,
  kCapa
};

struct Pop3Command {
  Pop3Verb verb = Pop3Verb::kNoop;
  std::string text;         // USER's name, PASS's password (the rest of the line)
  bool has_number = false;  // LIST and UIDL take an optional message number
  uint32_t number = 0;      // message number, 1 or more
  uint32_t lines = 0;       // TOP's line count
};

// Commands longer than this (RFC 2449: 255 octets with CRLF) are refused.
constexpr size_t kLongestCommandLine = 255;

// Parses `line` (CR LF already taken off). False with `err`, the text to
// follow "-ERR ", for an unknown or malformed command.
bool ParsePop3Command(std::string_view line, Pop3Command* command, std::string* err);
