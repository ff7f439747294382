#pragma once

// Line edits of the mail part's lists (the virtual domain list and the user
// lists) that keep every other line, comments included, as it was.

#include <string>

// Whether `name` is a domain name: labels of letters, digits and inner
// hyphens joined by single dots, at most 253 characters, no final dot.
bool IsDomainName(const std::string& name);

// The domain a line of the virtual domain list names (lower case), or "".
std::string DomainOfLine(const std::string& line);
// The user a line of a user list names (lower case), or "".
std::string UserOfLine(const std::string& line);

using LineKey = std::string (*)(const std::string& line);

// `text` with the first line whose key is `wanted` replaced by
// `replacement` (dropped when it is empty) and every later one dropped;
// `count` receives how many there were.
std::string ReplaceLines(const std::string& text, LineKey key, const std::string& wanted,
                         const std::string& replacement, size_t* count);

// `text` with `line` added at its end, on a line of its own.
std::string AppendLine(const std::string& text, const std::string& line);
