#pragma once

// A POP3 message as a client sees it, for the tests and fuzz targets that
// check what vpop3d sends: answers read line by line, dots undone, and
// what a sender's message must look like once fetched.

#include <cstdint>
#include <string>

// The line of `answers` at `*at` without its CR LF, moving `*at` past it;
// false when no whole line is left.
inline bool NextAnswerLine(const std::string& answers, size_t* at, std::string* line) {
  const size_t end = answers.find("\r\n", *at);
  if (end == std::string::npos) return false;
  *line = answers.substr(*at, end - *at);
  *at = end + 2;
  return true;
}

// The body of the multi-line answer at `*at` with the dots undone, each
// line ended by a line feed, and its octets as sent (CR LF line ends, no
// added dots); false when it does not end with the "." line.
inline bool ReadAnswerBody(const std::string& answers, size_t* at, std::string* body,
                           uint64_t* octets) {
  body->clear();
  *octets = 0;
  std::string line;
  while (NextAnswerLine(answers, at, &line)) {
    if (line == ".") return true;
    if (!line.empty() && line[0] == '.') line.erase(0, 1);
    *body += line + "\n";
    *octets += line.size() + 2;
  }
  return false;
}

// A sender's message (line feeds for line ends, no CR at the end of a
// line) as a client stores it after RETR: every line ended.
inline std::string AsFetched(const std::string& message) {
  return message.empty() || message.back() == '\n' ? message : message + "\n";
}

// What TOP sends of a fetched message: its header up to the blank line,
// and then `lines` lines of its body.
inline std::string TopOf(const std::string& fetched, uint64_t lines) {
  size_t at = 0;
  bool in_header = true;
  uint64_t body_lines = 0;
  while (at < fetched.size() && (in_header || body_lines < lines)) {
    const size_t end = fetched.find('\n', at) + 1;
    if (in_header)
      in_header = end - at != 1;
    else
      ++body_lines;
    at = end;
  }
  return fetched.substr(0, at);
}

// Where two long texts first differ, for a failure message that does not
// print both in full.
inline std::string DescribeDifference(const std::string& got, const std::string& want) {
  size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  auto around = [at](const std::string& text) {
    std::string shown;
    for (char c : text.substr(at >= 20 ? at - 20 : 0, 40)) {
      shown += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
    }
    return shown;
  };
  return "sizes " + std::to_string(got.size()) + " and " + std::to_string(want.size()) +
         ", first difference at " + std::to_string(at) + ": got \"" + around(got) + "\", want \"" +
         around(want) + "\"";
}
