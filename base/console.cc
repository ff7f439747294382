#include "base/console.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iostream>

#include "host/files.h"

namespace {

constexpr char kPressEnter[] = "Press Enter for Default: ";
constexpr char kIllegalValue[] = "Illeagle value.";
constexpr char kTooLongText[] = "Illeagle value (at most 79 characters are allowed).";
constexpr char kQuoteText[] = "Illeagle value (double quotes are not allowed).";
constexpr char kControlText[] = "Illeagle value (control characters are not allowed).";
constexpr char kFullPathText[] = "Illeagle value (only full paths are allowed).";
constexpr char kRegularFileText[] = "Illeagle value (only regular files are allowed).";

bool IsPosixSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The whole answer, NUL bytes included, is the one letter in either case.
bool IsLetter(const std::string& answer, char upper) {
  return answer.size() == 1 && (answer[0] == upper || answer[0] == upper - 'A' + 'a');
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

std::string NoAnswerLine(const AnswerKey& key) {
  return "The answer file has no answer for " + std::string(key.name) + ".";
}

// Prints a refusal on a line of its own, without a line end: the question
// that follows starts with one.
void PrintRefusal(Console& console, const char* refusal) {
  console.LineEnd();
  console.Print(refusal);
}

// Why a confirmed path cannot be kept, or nullptr: it must be a full path
// and, when something is there, a regular file (a FIFO or device would be
// opened, and block, by the stages and the service).
const char* ConfirmedPathRefusal(const char* path) {
  if (path[0] != '/') return kFullPathText;
  struct stat st;
  if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) return kRegularFileText;
  return nullptr;
}

// Prints the two lines of a default prompt and reads the answer.
ReadStatus PromptWithDefault(Console& console, const AnswerKey& key, std::string_view question,
                             std::string_view value, std::string* answer) {
  console.LineEnd();
  console.Print(question);
  console.Print(value);
  console.Print(")");
  console.LineEnd();
  console.Print(kPressEnter);
  return console.ReadAnswer(key, answer);
}

}  // namespace

const char* TextRefusal(std::string_view answer) {
  if (answer.size() >= kTextFieldSize) return kTooLongText;
  if (answer.find('"') != std::string_view::npos) return kQuoteText;
  for (char c : answer) {
    if (IsControl(c)) return kControlText;
  }
  return nullptr;
}

const char* FullPathRefusal(std::string_view answer) {
  if (answer.empty() || answer[0] == '/') return nullptr;
  return kFullPathText;
}

namespace {

// Why an answer read for a text field is refused, or nullptr.
const char* AnswerRefusal(ReadStatus status, const std::string& answer, TextRule rule) {
  if (status == ReadStatus::kTooLong) return kTooLongText;
  if (rule) {
    if (const char* refusal = rule(answer)) return refusal;
  }
  return TextRefusal(answer);
}

}  // namespace

Console::Console(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

Console& Console::Standard() {
  static Console console(std::cin, std::cout);
  return console;
}

void Console::Print(std::string_view text) { out_.write(text.data(), text.size()); }

void Console::LineEnd() {
  out_.put('\n');
  out_.flush();
}

void Console::PrintLine(std::string_view text) {
  Print(text);
  LineEnd();
}

void Console::PrintErrorText(int error_number) { PrintLine(strerror(error_number)); }

ReadStatus Console::ReadAnswer(const AnswerKey& key, std::string* answer) {
  out_.flush();
  answer->clear();
  // Nobody reads the questions any more (the terminal or the output pipe
  // went away): the answers have ended too, typed or not.
  if (out_.bad()) return ReadStatus::kEndOfInput;
  if (!answers_) return ReadLine(answer);
  // A question asked again had its answer refused; asking the file again
  // would give the same answer for ever.
  if (!asked_.insert(key.name).second)
    return EndAnswers("The answer file's answer for " + std::string(key.name) + " was refused.",
                      EINVAL);
  if (const std::string* given = FileAnswer(key)) {
    *answer = *given;
    return Echo(*answer);
  }
  if (!key.has_default) return EndAnswers(NoAnswerLine(key), ENODATA);
  return Echo(*answer);
}

ReadStatus Console::ReadConfirmation(const AnswerKey& key, std::string_view shown_path,
                                     std::string* answer) {
  out_.flush();
  answer->clear();
  if (out_.bad()) return ReadStatus::kEndOfInput;
  if (!answers_) return ReadLine(answer);
  const std::string* given = FileAnswer(key);
  if (!given) return EndAnswers(NoAnswerLine(key), ENODATA);
  answer->push_back(*given == shown_path ? 'y' : 'n');
  return Echo(*answer);
}

const std::string* Console::FileAnswer(const AnswerKey& key) const {
  if (!answers_) return nullptr;
  auto found = answers_->answers.find(key.name);
  return found == answers_->answers.end() ? nullptr : &found->second;
}

ReadStatus Console::Echo(const std::string& answer) {
  Print(answer);
  LineEnd();
  return ReadStatus::kAnswer;
}

ReadStatus Console::EndAnswers(const std::string& line, int error) {
  LineEnd();
  PrintLine(line);
  answer_file_error_ = error;
  return ReadStatus::kEndOfInput;
}

ReadStatus Console::ReadLine(std::string* answer) {
  bool too_long = false;
  bool got_any = false;
  for (;;) {
    int c = in_.get();
    if (c == std::char_traits<char>::eof()) {
      in_.clear(in_.rdstate() & ~std::ios::failbit);
      if (!got_any) return ReadStatus::kEndOfInput;
      break;  // a last line without its newline still counts
    }
    got_any = true;
    if (c == '\n') break;
    if (answer->size() < kMaxAnswerLength)
      answer->push_back(static_cast<char>(c));
    else
      too_long = true;
  }
  if (too_long) {
    answer->clear();
    return ReadStatus::kTooLong;
  }
  return ReadStatus::kAnswer;
}

void ReportEndOfInput(Console& console) {
  if (console.answer_file_error() != 0) {
    errno = console.answer_file_error();  // its line is out already
    return;
  }
  console.LineEnd();
  errno = ENODATA;
}

unsigned char FailStage(Console& console, std::string_view why, unsigned char result) {
  const int error = errno;
  console.PrintLine(why);
  errno = error;
  return result;
}

bool ParseNumericAnswer(std::string_view answer, uint32_t* value) {
  size_t i = 0;
  while (i < answer.size() && IsPosixSpace(answer[i])) ++i;
  bool negative = false;
  if (i < answer.size() && (answer[i] == '+' || answer[i] == '-')) {
    negative = answer[i] == '-';
    ++i;
  }
  const size_t first_digit = i;
  uint64_t number = 0;
  bool overflow = false;
  for (; i < answer.size() && answer[i] >= '0' && answer[i] <= '9'; ++i) {
    number = number * 10 + static_cast<uint64_t>(answer[i] - '0');
    if (number > UINT32_MAX) {
      overflow = true;
      number = UINT32_MAX;  // keep the accumulator small; the result saturates
    }
  }
  if (i == first_digit || i != answer.size()) return false;
  if (overflow)
    *value = UINT32_MAX;
  else
    *value = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(number))
                      : static_cast<uint32_t>(number);
  return true;
}

bool StoreText(TextField& field, std::string_view text) {
  if (text.size() >= kTextFieldSize) return false;
  memcpy(field, text.data(), text.size());
  field[text.size()] = '\0';
  return true;
}

bool AskText(Console& console, const AnswerKey& key, std::string_view question, TextField& field,
             TextRule rule) {
  for (;;) {
    std::string answer;
    ReadStatus status = PromptWithDefault(console, key, question, field, &answer);
    if (status == ReadStatus::kEndOfInput) {
      ReportEndOfInput(console);
      return false;
    }
    if (const char* refusal = AnswerRefusal(status, answer, rule)) {
      PrintRefusal(console, refusal);
      continue;
    }
    if (!answer.empty()) StoreText(field, answer);
    return true;
  }
}

bool AskNumber(Console& console, const AnswerKey& key, std::string_view question, uint32_t* field,
               uint32_t lowest, uint32_t highest) {
  for (;;) {
    std::string answer;
    ReadStatus status = PromptWithDefault(console, key, question, std::to_string(*field), &answer);
    if (status == ReadStatus::kEndOfInput) {
      ReportEndOfInput(console);
      return false;
    }
    if (status == ReadStatus::kAnswer && answer.empty()) return true;
    uint32_t value;
    if (status == ReadStatus::kAnswer && ParseNumericAnswer(answer, &value) && value >= lowest &&
        value <= highest) {
      *field = value;
      return true;
    }
    console.LineEnd();
    console.Print(kIllegalValue);
  }
}

namespace {

YesNo JudgeYesNo(ReadStatus status, const std::string& answer) {
  switch (status) {
    case ReadStatus::kEndOfInput:
      return YesNo::kEndOfInput;
    case ReadStatus::kTooLong:
      return YesNo::kOther;
    case ReadStatus::kAnswer:
      break;
  }
  if (IsLetter(answer, 'Y')) return YesNo::kYes;
  if (IsLetter(answer, 'N')) return YesNo::kNo;
  return YesNo::kOther;
}

// Accepted without a question: a full path that opens as a regular file.
bool OpensAsRegularFile(const char* path) {
  return path[0] == '/' && ProbeForReading(path) == ReadProbe::kRegularFile;
}

}  // namespace

YesNo AskYesNo(Console& console, const AnswerKey& key, std::string_view question) {
  console.Print(question);
  std::string answer;
  const ReadStatus status = console.ReadAnswer(key, &answer);
  return JudgeYesNo(status, answer);
}

bool ConfirmPath(Console& console, const AnswerKey& key, TextField& field,
                 std::string_view confirm_question, std::string_view path_question) {
  // The file an answer file names is the one to use, also where another
  // would be taken without a question.
  const std::string* wanted = console.FileAnswer(key);
  if (wanted && *wanted != field && !TextRefusal(*wanted) && OpensAsRegularFile(field))
    StoreText(field, *wanted);
  for (;;) {
    if (OpensAsRegularFile(field)) {
      console.Print("\tOK");
      console.LineEnd();
      return true;
    }
    console.Print(field);
    console.LineEnd();
    console.Print(confirm_question);
    std::string confirmation;
    const YesNo confirmed =
        JudgeYesNo(console.ReadConfirmation(key, field, &confirmation), confirmation);
    if (confirmed == YesNo::kEndOfInput) {
      ReportEndOfInput(console);
      return false;
    }
    if (confirmed == YesNo::kYes) {
      const char* refusal = ConfirmedPathRefusal(field);
      if (!refusal) return true;
      PrintRefusal(console, refusal);
    }
    // Ask for the path until an answer fits the field; an empty answer empties it.
    for (;;) {
      console.LineEnd();
      console.Print(path_question);
      std::string answer;
      ReadStatus status = console.ReadAnswer(key, &answer);
      if (status == ReadStatus::kEndOfInput) {
        ReportEndOfInput(console);
        return false;
      }
      const char* refusal = AnswerRefusal(status, answer, nullptr);
      if (!refusal) refusal = FullPathRefusal(answer);
      if (refusal) {
        PrintRefusal(console, refusal);
        continue;
      }
      StoreText(field, answer);
      break;
    }
  }
}
