#pragma once

#include <string>
#include <string_view>

// The working folder where the package is unpacked, and the package folder.
constexpr char kWorkingFolder[] = "/QVInstallation";
constexpr char kPackageFolder[] = "/QVInstallation/qv";

// Unpacks the package, `package_text` (its Base64 text as the installer
// carries it), into the working folder with the decode tool found in
// `tool_folder`, and makes the package folder the current
// directory. 0 on success, 1 on failure (what was made so far is left for
// the caller to remove). The working folder is made and kept so that no
// user but root can enter it. A decode tool that is missing or must not run
// as root is refused before anything is made: `refusal`, if given, gets the
// line why.
unsigned char Decode(const std::string& tool_folder, std::string_view package_text,
                     std::string* refusal = nullptr);
