#include "mail/inetd_conf.h"

#include "mail/text_lines.h"

std::string TransformInetdConf(std::string_view content, std::string_view ins_folder) {
  std::string conf;
  conf.reserve(content.size() + 128);
  for (std::string_view line : SplitLines(content)) {
    if (line.starts_with("pop-3") || line.starts_with("#pop-3")) {
      conf.append("pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\t")
          .append(ins_folder)
          .append("/bin/vpop3d\tipop3d\n");
    } else {
      conf.append(line).push_back('\n');
    }
  }
  return conf;
}
