#pragma once

#include <string>
#include <string_view>

// The xinetd entry with the POP3 service handed to the wrapper in
// `ins_folder`/bin: the first line containing "server" becomes the server
// and server_args lines and a per_source limit, every other line containing
// "disable" or "DISABLE" becomes "disable = no", later server_args and
// per_source lines are dropped, the rest is kept. Every line ends with a
// line feed.
std::string TransformXinetdEntry(std::string_view content, std::string_view ins_folder);
