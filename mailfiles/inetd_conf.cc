#include "mailfiles/inetd_conf.h"

#include "mailfiles/text_lines.h"

namespace {

bool IsPop3Line(std::string_view line) {
  return line.starts_with("pop-3") || line.starts_with("#pop-3");
}

std::string Pop3Line(std::string_view ins_folder) {
  return "pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\t" + std::string(ins_folder) +
         "/bin/vpop3d\tipop3d\n";
}

// An active line for the service under its other name, "pop3".
bool NamesPop3Service(std::string_view line) {
  return line.starts_with("pop3") && line.size() > 4 && (line[4] == ' ' || line[4] == '\t');
}

}  // namespace

std::string TransformInetdConf(std::string_view content, std::string_view ins_folder) {
  std::string conf;
  conf.reserve(content.size() + 128);
  for (std::string_view line : SplitLines(content)) {
    if (IsPop3Line(line)) {
      conf.append(Pop3Line(ins_folder));
    } else {
      conf.append(line).push_back('\n');
    }
  }
  return conf;
}

std::string RegisterPop3InInetdConf(std::string_view content, std::string_view ins_folder) {
  std::string conf = TransformInetdConf(content, ins_folder);
  for (std::string_view line : SplitLines(content)) {
    if (IsPop3Line(line) || NamesPop3Service(line)) return conf;
  }
  return conf + Pop3Line(ins_folder);
}
