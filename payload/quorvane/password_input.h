#pragma once

#include <string>

// A new password: asked twice on the terminal without echo when standard
// input is one, else the first line of standard input. False with `err`
// when none was given, the two differ or the password is empty.
bool ReadNewPassword(std::string* password, std::string* err);
