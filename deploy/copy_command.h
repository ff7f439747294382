#pragma once

#include <string>
#include <string_view>

// The command that copies package member `file` (current directory) into
// `bin_folder` (ending in "/"): "cp <file> <bin_folder>", the folder quoted
// where the shell would read it. False, command untouched, when it does not
// fit the 1024-byte command buffer; such a command is never run.
bool CopyCommand(std::string_view bin_folder, std::string_view file, std::string* command);
