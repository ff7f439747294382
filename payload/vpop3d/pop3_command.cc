#include "payload/vpop3d/pop3_command.h"

#include <vector>

namespace {

struct VerbShape {
  const char* name;
  Pop3Verb verb;
  size_t least, most;  // how many blank-separated arguments
};

const VerbShape kVerbs[] = {
    {"USER", Pop3Verb::kUser, 1, 1}, {"PASS", Pop3Verb::kPass, 1, 1},
    {"STAT", Pop3Verb::kStat, 0, 0}, {"LIST", Pop3Verb::kList, 0, 1},
    {"UIDL", Pop3Verb::kUidl, 0, 1}, {"RETR", Pop3Verb::kRetr, 1, 1},
    {"TOP", Pop3Verb::kTop, 2, 2},   {"DELE", Pop3Verb::kDele, 1, 1},
    {"RSET", Pop3Verb::kRset, 0, 0}, {"NOOP", Pop3Verb::kNoop, 0, 0},
    {"QUIT", Pop3Verb::kQuit, 0, 0}, {"CAPA", Pop3Verb::kCapa, 0, 0},
};

std::string Upper(std::string_view word) {
  std::string upper(word);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  size_t at = 0;
  while (at < text.size()) {
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

// A decimal number of at most 9 digits, so that it always fits.
bool ParseCount(std::string_view word, uint32_t* value) {
  if (word.empty() || word.size() > 9) return false;
  uint32_t parsed = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + static_cast<uint32_t>(c - '0');
  }
  *value = parsed;
  return true;
}

bool ParseMessageNumber(std::string_view word, uint32_t* value) {
  return ParseCount(word, value) && *value >= 1;
}

}  // namespace

bool ParsePop3Command(std::string_view line, Pop3Command* command, std::string* err) {
  if (line.size() + 2 > kLongestCommandLine) {
    *err = "command line too long";
    return false;
  }
  for (unsigned char c : line) {
    if (c < ' ' || c >= 0x7f) {
      *err = "command holds bytes that are not printable text";
      return false;
    }
  }
  const size_t space = line.find(' ');
  const std::string name = Upper(line.substr(0, space));
  const std::string_view rest =
      space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
  const VerbShape* shape = nullptr;
  for (const VerbShape& candidate : kVerbs) {
    if (name == candidate.name) shape = &candidate;
  }
  if (!shape) {
    *err = name.empty() ? "empty command" : "unknown command";
    return false;
  }
  Pop3Command parsed;
  parsed.verb = shape->verb;
  // A password may hold blanks: PASS takes the rest of the line as it is.
  const std::vector<std::string_view> args = shape->verb == Pop3Verb::kPass && !rest.empty()
                                                 ? std::vector<std::string_view>{rest}
                                                 : SplitWords(rest);
  if (args.size() < shape->least || args.size() > shape->most) {
    *err = std::string("wrong number of arguments for ") + shape->name;
    return false;
  }
  bool ok = true;
  switch (shape->verb) {
    case Pop3Verb::kUser:
    case Pop3Verb::kPass:
      parsed.text = std::string(args[0]);
      break;
    case Pop3Verb::kList:
    case Pop3Verb::kUidl:
      parsed.has_number = !args.empty();
      if (parsed.has_number) ok = ParseMessageNumber(args[0], &parsed.number);
      break;
    case Pop3Verb::kRetr:
    case Pop3Verb::kDele:
      ok = ParseMessageNumber(args[0], &parsed.number);
      break;
    case Pop3Verb::kTop:
      ok = ParseMessageNumber(args[0], &parsed.number) && ParseCount(args[1], &parsed.lines);
      break;
    default:
      break;
  }
  if (!ok) {
    *err = "invalid message number";
    return false;
  }
  *command = parsed;
  return true;
}
