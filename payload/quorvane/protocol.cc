#include "payload/quorvane/protocol.h"

#include <string.h>
#include <strings.h>

namespace {

std::string Line(const std::string& text) { return text + "\r\n"; }

// The request's first word, and whether anything follows it.
std::string Command(const std::string& request, bool* has_argument) {
  std::string line = request;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  size_t end = line.find(' ');
  *has_argument = end != std::string::npos && line.find_first_not_of(' ', end) != std::string::npos;
  return line.substr(0, end);
}

// Compares the whole word, so a NUL inside the request never matches.
bool Is(const std::string& command, const char* name) {
  return command.size() == strlen(name) && strncasecmp(command.data(), name, command.size()) == 0;
}

// `text` as the lines of a multi-line answer, dot-stuffed, ended by ".".
std::string Body(const std::string& text) {
  std::string body;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line[0] == '.') line = "." + line;
    body += Line(line);
    start = end + 1;
  }
  return body + Line(".");
}

}  // namespace

std::string Greeting() { return Line("+OK Quorvane server ready"); }

Reply Answer(const std::string& request, const ServerStatus& status) {
  bool has_argument = false;
  const std::string command = Command(request, &has_argument);
  if (Is(command, "QUIT") && !has_argument) return {Line("+OK bye"), true};
  if (has_argument) return {Line("-ERR no command takes an argument")};
  if (Is(command, "STATUS")) {
    return {Line("+OK running port " + std::to_string(status.port) + " clients " +
                 std::to_string(status.clients) + " uptime " +
                 std::to_string(status.uptime_seconds))};
  }
  if (Is(command, "ZONE-DEFAULTS")) {
    return {Line("+OK zone defaults follow") + Body(status.zone_defaults)};
  }
  if (Is(command, "NOOP")) return {Line("+OK")};
  if (Is(command, "HELP")) {
    return {Line("+OK commands follow") + Body("STATUS\nZONE-DEFAULTS\nNOOP\nHELP\nQUIT\n")};
  }
  if (command.empty()) return {Line("-ERR empty request")};
  return {Line("-ERR unknown command")};
}

std::string IdleFarewell(uint32_t seconds) {
  return Line("-ERR idle for " + std::to_string(seconds) + " seconds, closing");
}

std::string OverlongFarewell() { return Line("-ERR request line too long, closing"); }
