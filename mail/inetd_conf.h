#pragma once

#include <string>
#include <string_view>

// inetd.conf with every line that starts with "pop-3" or "#pop-3" replaced
// by the POP3 line that runs the wrapper in `ins_folder`/bin through tcpd;
// other lines kept, none added. Every line ends with a line feed.
std::string TransformInetdConf(std::string_view content, std::string_view ins_folder);
