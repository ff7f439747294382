#pragma once

#include <string>
#include <string_view>

// inetd.conf with every line that starts with "pop-3" or "#pop-3" replaced
// by the POP3 line that runs the wrapper in `ins_folder`/bin through tcpd;
// other lines kept, none added. Every line ends with a line feed.
std::string TransformInetdConf(std::string_view content, std::string_view ins_folder);

// What the installer writes for POP3: TransformInetdConf, and where no line
// names the POP3 service yet (as "pop-3", "#pop-3" or an active "pop3"), the
// wrapper's line appended, so that POP3 is registered. An active "pop3" line
// is another POP3 server's: nothing is added beside it.
std::string RegisterPop3InInetdConf(std::string_view content, std::string_view ins_folder);
