#pragma once

#include <string>
#include <string_view>

// The sendmail configuration made from the packaged template: empty lines
// dropped, and on each other line the first "QVINSFOLDER" replaced by
// `ins_folder`, or, when there is none, the first "QVHOSTNAME" by
// `host_name`; one replacement per line at most. Every line ends with a
// line feed.
std::string FillSendmailTemplate(std::string_view content, std::string_view ins_folder,
                                 std::string_view host_name);
