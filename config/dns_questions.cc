#include "config/dns_questions.h"

#include <string>

namespace {

constexpr char kBindMenu[] =
    "Which version of BIND you are using?\n"
    "1.\tBIND 8.*\n"
    "2.\tBIND 9.*\n"
    "Enter your choice (Default: 2)\n";

// White space as isspace classifies it in the POSIX locale, whatever the locale.
bool IsPosixSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The BIND generation an answer selects, or nullptr when it selects none.
const char* BindChoice(const std::string& answer) {
  if (answer.empty() || answer == "2") return "BIND9";
  if (answer == "1") return "BIND8";
  return nullptr;
}

}  // namespace

bool AskBindVersion(Console& console, TextField& dns_type) {
  for (;;) {
    // The menu's line ends flush too, as every line end of the installer does.
    std::string_view menu = kBindMenu;
    for (size_t start = 0; start < menu.size();) {
      size_t end = menu.find('\n', start);
      console.Print(menu.substr(start, end - start));
      console.LineEnd();
      start = end + 1;
    }
    console.Print("Press Enter for Default: ");
    std::string answer;
    ReadStatus status = console.ReadAnswer(kBindKey, &answer);
    if (status == ReadStatus::kEndOfInput) {
      ReportEndOfInput(console);
      return false;
    }
    if (status == ReadStatus::kTooLong) continue;
    if (const char* choice = BindChoice(answer)) {
      StoreText(dns_type, choice);
      console.Print("\tOK");
      console.LineEnd();
      console.PrintLine(answer);
      return true;
    }
  }
}

const char* NameServerRefusal(std::string_view answer) {
  for (char c : answer) {
    if (IsPosixSpace(c)) return "Illeagle value (spaces are not allowed).";
  }
  return nullptr;
}
