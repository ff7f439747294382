#pragma once

// The DNS settings dialogue's own question rules.

#include <string_view>

#include "base/console.h"

// Shows the BIND menu until the answer is "1", "2" or empty (which means 2),
// stores "BIND8" or "BIND9" in `dns_type` and echoes the answer after "\tOK".
// False when standard input ended (errno ENODATA).
bool AskBindVersion(Console& console, TextField& dns_type);

// The refusal for a name server answer holding white space, or nullptr.
const char* NameServerRefusal(std::string_view answer);
