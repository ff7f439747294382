#include "mailfiles/xinetd_entry.h"

#include "mailfiles/text_lines.h"

namespace {

// One address holds at most this many POP3 connections at once: guessing
// in parallel gains little, and others keep their share.
constexpr char kPerSourceLine[] = "\tper_source\t\t= 4\n";

bool Contains(std::string_view line, std::string_view text) {
  return line.find(text) != std::string_view::npos;
}

}  // namespace

std::string TransformXinetdEntry(std::string_view content, std::string_view ins_folder) {
  std::string entry;
  bool server_written = false;
  for (std::string_view line : SplitLines(content)) {
    if (!server_written && Contains(line, "server")) {
      entry.append("\tserver\t\t\t\t= ").append(ins_folder).append("/bin/vpop3d\n");
      entry.append("\tserver_args\t\t\t= /usr/sbin/ipop3d\n");
      entry.append(kPerSourceLine);
      server_written = true;
    } else if (Contains(line, "disable") || Contains(line, "DISABLE")) {
      entry.append("\tdisable\t\t= no\n");
    } else if (Contains(line, "server_args") || Contains(line, "per_source")) {
      // The wrapper's own arguments and limit replace it.
    } else {
      entry.append(line).push_back('\n');
    }
  }
  return entry;
}
