// Properties of the POP3 command parser: an accepted line is short,
// printable text whose first word names the command in any case; message
// numbers are 1 or more; the command written out in its plain form parses
// to the same command; a refusal changes nothing and says why.

#include <string>

#include "fuzz/fuzz_check.h"
#include "payload/vpop3d/pop3_command.h"

namespace {

constexpr const char* kNames[] = {"USER", "PASS", "STAT", "LIST", "UIDL", "RETR",
                                  "TOP",  "DELE", "RSET", "NOOP", "QUIT", "CAPA"};

const char* Name(Pop3Verb verb) { return kNames[static_cast<int>(verb)]; }

// The command as a client would send it in its plainest form.
std::string PlainLine(const Pop3Command& command) {
  std::string line = Name(command.verb);
  switch (command.verb) {
    case Pop3Verb::kUser:
    case Pop3Verb::kPass:
      return line + " " + command.text;
    case Pop3Verb::kList:
    case Pop3Verb::kUidl:
      return command.has_number ? line + " " + std::to_string(command.number) : line;
    case Pop3Verb::kRetr:
    case Pop3Verb::kDele:
      return line + " " + std::to_string(command.number);
    case Pop3Verb::kTop:
      return line + " " + std::to_string(command.number) + " " + std::to_string(command.lines);
    default:
      return line;
  }
}

bool SameCommand(const Pop3Command& a, const Pop3Command& b) {
  return a.verb == b.verb && a.text == b.text && a.has_number == b.has_number &&
         a.number == b.number && a.lines == b.lines;
}

bool SameLetters(std::string_view word, const char* name) {
  if (word.size() != strlen(name)) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i] >= 'a' && word[i] <= 'z' ? static_cast<char>(word[i] - 'a' + 'A') : word[i];
    if (c != name[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line = AsText(data, size);
  Pop3Command command;
  command.text = "unchanged";
  std::string err;
  if (!ParsePop3Command(line, &command, &err)) {
    FUZZ_CHECK(!err.empty() && command.text == "unchanged");
    return 0;
  }
  FUZZ_CHECK(line.size() + 2 <= kLongestCommandLine);
  for (char c : line) FUZZ_CHECK(c >= ' ' && c < 0x7f);
  FUZZ_CHECK(SameLetters(line.substr(0, line.find(' ')), Name(command.verb)));
  bool numbered = command.verb == Pop3Verb::kRetr || command.verb == Pop3Verb::kDele ||
                  command.verb == Pop3Verb::kTop || command.has_number;
  if (numbered) FUZZ_CHECK(command.number >= 1);

  Pop3Command again;
  FUZZ_CHECK(ParsePop3Command(PlainLine(command), &again, &err));
  FUZZ_CHECK(SameCommand(command, again));
  return 0;
}
