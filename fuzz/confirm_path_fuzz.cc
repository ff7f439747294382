// Properties of the path confirmation: the field always holds its first
// value or an answer line that fits, has no double quote and no control
// character; a path is kept only when it is a full path and opens as a
// regular file, or after a Y when nothing but a regular file is there; a
// run that keeps none ended because the answers ran out.
//
// Every path stays inside an empty folder of this run's: an answer line
// that starts with "/" is put under the folder, and no other "/" is left,
// so no path reaches a device or pipe elsewhere (opening one can have
// effects).

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "base/console.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr char kConfirm[] = "Is this path correct? (Y/N) ";
constexpr char kAskPath[] = "Enter the path: ";

std::string WorkFolder() {
  return (std::filesystem::temp_directory_path() / ("qv_confirm_path." + std::to_string(getpid())))
      .string();
}

void RemoveWorkFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(WorkFolder(), ignored);
}

// The answers with every path moved under the work folder.
std::string ConfinedAnswers(std::string_view input) {
  std::string confined;
  for (size_t start = 0; start <= input.size();) {
    size_t end = std::min(input.find('\n', start), input.size());
    std::string line(input.substr(start, end - start));
    bool full_path = !line.empty() && line[0] == '/';
    std::replace(line.begin(), line.end(), '/', '_');
    if (full_path) line = WorkFolder() + "/" + line.substr(1);
    confined += line;
    if (end < input.size()) confined += '\n';
    start = end + 1;
  }
  return confined;
}

bool IsLineOf(std::string_view input, std::string_view text) {
  for (size_t start = 0; start < input.size();) {
    size_t end = std::min(input.find('\n', start), input.size());
    if (input.substr(start, end - start) == text) return true;
    start = end + 1;
  }
  return false;
}

// The line of `input` that ends at `consumed` (just after its line feed).
std::string_view LastLine(std::string_view input, size_t consumed) {
  std::string_view read = input.substr(0, consumed);
  if (!read.empty() && read.back() == '\n') read.remove_suffix(1);
  size_t start = read.rfind('\n');
  return start == std::string_view::npos ? read : read.substr(start + 1);
}

bool IsRegularFile(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool IsMissing(const char* path) {
  struct stat st;
  return stat(path, &st) != 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::filesystem::create_directory(WorkFolder());
  atexit(RemoveWorkFolder);
  FILE* file = fopen((WorkFolder() + "/present").c_str(), "w");
  if (file) fclose(file);
  std::filesystem::create_directory(WorkFolder() + "/folder");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  std::string first = WorkFolder() + "/" + (provider.ConsumeBool() ? "present" : "missing");
  std::string input = ConfinedAnswers(provider.ConsumeRemainingBytesAsString());

  TextField field;
  if (!StoreText(field, first)) return 0;  // a temporary folder too long for the field
  std::istringstream in(input);
  std::ostringstream out;
  Console console(in, out);
  bool kept = ConfirmPath(console, kNamedConfKey, field, kConfirm, kAskPath);

  size_t length = strnlen(field, kTextFieldSize);
  FUZZ_CHECK(length < kTextFieldSize);
  std::string_view path(field, length);
  FUZZ_CHECK(TextRefusal(path) == nullptr);
  FUZZ_CHECK(path == first || IsLineOf(input, path));

  std::string printed = out.str();
  size_t consumed = in.eof() ? input.size() : static_cast<size_t>(in.tellg());
  std::string_view last = LastLine(input, consumed);
  if (kept) {
    FUZZ_CHECK(path.starts_with('/'));
    bool opened = printed.ends_with("\tOK\n") && IsRegularFile(field);
    bool confirmed = printed.ends_with(kConfirm) && (last == "y" || last == "Y") &&
                     (IsRegularFile(field) || IsMissing(field));
    FUZZ_CHECK(opened || confirmed);
  } else {
    FUZZ_CHECK(consumed == input.size());
    FUZZ_CHECK(printed.ends_with('\n'));
  }
  return 0;
}
