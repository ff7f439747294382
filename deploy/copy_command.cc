#include "deploy/copy_command.h"

#include "host/command.h"

namespace {
constexpr size_t kCommandCapacity = 1024;
}  // namespace

bool CopyCommand(std::string_view bin_folder, std::string_view file, std::string* command) {
  // A relative folder starting with "-" would reach cp as an option.
  const std::string target = !bin_folder.empty() && bin_folder[0] == '-'
                                 ? "./" + std::string(bin_folder)
                                 : std::string(bin_folder);
  CommandLine line(kCommandCapacity);
  line.Add("cp ").AddArgument(file).Add(" ").AddArgument(target);
  if (!line.fits()) return false;
  *command = line.text();
  return true;
}
