// Properties of the path confirmation: the field always holds a line the
// administrator gave, up to its first NUL, (or its first value), fits, and has no double quote;
// the path is accepted only when it opens or after a Y, and refused only
// when the answers ran out.
//
// The run works in an empty folder of its own and answers never hold "/",
// so no path can reach a file outside it (opening a device can have effects).

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "base/console.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr char kConfirm[] = "Is this path correct? (Y/N) ";
constexpr char kAskPath[] = "Enter the path: ";
constexpr char kPresent[] = "present";

bool Opens(const char* path) {
  int fd = open(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// The line of `input` that ends at `consumed` (just after its line feed).
std::string_view LastLine(std::string_view input, size_t consumed) {
  std::string_view read = input.substr(0, consumed);
  if (!read.empty() && read.back() == '\n') read.remove_suffix(1);
  size_t start = read.rfind('\n');
  return start == std::string_view::npos ? read : read.substr(start + 1);
}

bool IsLineOf(std::string_view input, std::string_view text) {
  std::string_view rest = input;
  while (!rest.empty()) {
    size_t end = rest.find('\n');
    if (CutAtNul(rest.substr(0, end)) == text) return true;
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return false;
}

std::filesystem::path WorkFolder() {
  return std::filesystem::temp_directory_path() / ("qv_confirm_path." + std::to_string(getpid()));
}

void RemoveWorkFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(WorkFolder(), ignored);
}

}  // namespace

// Runs before libFuzzer reads its folders: give them as absolute paths.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::filesystem::create_directory(WorkFolder());
  std::filesystem::current_path(WorkFolder());
  atexit(RemoveWorkFolder);
  FILE* file = fopen(kPresent, "w");
  if (file) fclose(file);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const char* first = provider.ConsumeBool() ? kPresent : "missing";
  std::string input = provider.ConsumeRemainingBytesAsString();
  std::replace(input.begin(), input.end(), '/', '_');

  TextField field;
  strcpy(field, first);
  std::istringstream in(input);
  std::ostringstream out;
  Console console(in, out);
  bool accepted = ConfirmPath(console, field, kConfirm, kAskPath);

  size_t length = strnlen(field, kTextFieldSize);
  FUZZ_CHECK(length < kTextFieldSize);
  std::string_view path(field, length);
  FUZZ_CHECK(path.find('"') == std::string_view::npos);
  FUZZ_CHECK(path == first || IsLineOf(input, path));

  std::string printed = out.str();
  size_t consumed = in.eof() ? input.size() : static_cast<size_t>(in.tellg());
  std::string_view last = CutAtNul(LastLine(input, consumed));
  if (accepted) {
    bool opened = printed.ends_with("\tOK\n") && Opens(field);
    bool confirmed = printed.ends_with(kConfirm) && (last == "y" || last == "Y");
    FUZZ_CHECK(opened || confirmed);
  } else {
    FUZZ_CHECK(consumed == input.size());
    FUZZ_CHECK(printed.ends_with('\n'));
  }
  return 0;
}
