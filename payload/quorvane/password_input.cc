#include "payload/quorvane/password_input.h"

#include <stdio.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

namespace {

// One line of standard input without its line end; false at its end.
bool ReadLine(std::string* line) {
  if (!std::getline(std::cin, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

// Asks on the terminal with echo turned off, and turns it on again.
bool AskHidden(const char* prompt, std::string* answer) {
  struct termios saved;
  if (tcgetattr(STDIN_FILENO, &saved) != 0) return false;
  struct termios hidden = saved;
  hidden.c_lflag &= static_cast<tcflag_t>(~ECHO);
  fprintf(stderr, "%s", prompt);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
  bool ok = ReadLine(answer);
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  fprintf(stderr, "\n");
  return ok;
}

}  // namespace

bool ReadNewPassword(std::string* password, std::string* err) {
  std::string first;
  if (isatty(STDIN_FILENO)) {
    std::string again;
    if (!AskHidden("New password: ", &first) || !AskHidden("Retype new password: ", &again)) {
      *err = "no password given";
      return false;
    }
    if (first != again) {
      *err = "the passwords do not match";
      return false;
    }
  } else if (!ReadLine(&first)) {
    *err = "no password on standard input";
    return false;
  }
  if (first.empty()) {
    *err = "an empty password is not allowed";
    return false;
  }
  // A NUL would cut the password short where crypt(3) reads it, so that a
  // shorter one logged in; POP3 carries printable ASCII only.
  for (unsigned char c : first) {
    if (c < ' ' || c >= 0x7f) {
      *err = "a password may hold only printable ASCII characters (no NUL or control character)";
      return false;
    }
  }
  *password = first;
  return true;
}
