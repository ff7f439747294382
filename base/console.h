#pragma once

// The installer's dialogue with the administrator: every message goes to
// standard output, every answer is one line of standard input. The shapes
// below are the only ways a question is asked.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>
#include <string_view>

#include "base/answer_file.h"

// A text field of the settings record: at most 79 characters and a NUL.
constexpr size_t kTextFieldSize = 80;
using TextField = char[kTextFieldSize];

// The longest answer line kept; a longer line is read to its end and refused.
constexpr size_t kMaxAnswerLength = 1022;

enum class ReadStatus { kAnswer, kTooLong, kEndOfInput };

class Console {
 public:
  Console(std::istream& in, std::ostream& out);

  // Standard input and standard output.
  static Console& Standard();

  // Writes text without a line end.
  void Print(std::string_view text);
  // Writes a newline and flushes standard output.
  void LineEnd();
  void PrintLine(std::string_view text);
  // The system's text for an error number, on a line of its own.
  void PrintErrorText(int error_number);

  // From now on every question is answered from `answers` by its key
  // instead of from the input stream; `answers` must outlive the console.
  void AnswerFrom(const AnswerFile* answers) { answers_ = answers; }

  // Flushes output, then reads the answer to the question named `key`.
  // Output that can no longer be written counts as the end of input.
  // From the input stream: one line; the newline is consumed, nothing is
  // trimmed. A line longer than kMaxAnswerLength is consumed whole and
  // reported as kTooLong with `answer` empty.
  // From an answer file: the key's answer, or an empty one (the default)
  // when the file leaves the key out, echoed after the prompt as a typed
  // answer shows. A key without answer and default, or one asked for again
  // (its answer was refused), ends the answers: a line naming the key, then
  // kEndOfInput.
  ReadStatus ReadAnswer(const AnswerKey& key, std::string* answer);

  // The answer to the confirmation question of a path confirmation whose
  // path question is named `key`. From an answer file: "y" when the file
  // names `shown_path`, "n" when it names another, echoed; no answer ends
  // the answers as ReadAnswer does.
  ReadStatus ReadConfirmation(const AnswerKey& key, std::string_view shown_path,
                              std::string* answer);

  // The answer file's answer for `key`, or nullptr when answers are typed
  // or the file leaves the key out.
  const std::string* FileAnswer(const AnswerKey& key) const;

  // The error number that describes why the answer file ended the answers
  // (ENODATA: no answer, EINVAL: an answer refused), or 0.
  int answer_file_error() const { return answer_file_error_; }

  std::ostream& out() { return out_; }

 private:
  ReadStatus ReadLine(std::string* answer);
  // Gives `answer` as the answer just read: echoed, with its line end.
  ReadStatus Echo(const std::string& answer);
  // Prints why the answer file ends the answers on a line of its own, and
  // keeps `error` to tell it.
  ReadStatus EndAnswers(const std::string& line, int error);

  std::istream& in_;
  std::ostream& out_;
  const AnswerFile* answers_ = nullptr;
  std::set<std::string_view> asked_;  // keys answered from the file so far
  int answer_file_error_ = 0;
};

// Closes the pending prompt line after the answers ended and sets errno to
// ENODATA (or to why the answer file ended them), so the driver's error
// text line says why the stage stopped.
void ReportEndOfInput(Console& console);

// Prints why a stage fails, `why`, on a line of its own and returns
// `result`, the stage's failure result, with errno as the failing call left
// it, so the driver's error text line says what went wrong.
unsigned char FailStage(Console& console, std::string_view why, unsigned char result = 1);

// Converts a numeric answer as strtoul does with base 10 and a 32-bit
// unsigned long; false unless the whole answer is one number.
bool ParseNumericAnswer(std::string_view answer, uint32_t* value);

// Copies text into a field; false (field unchanged) when it does not fit.
bool StoreText(TextField& field, std::string_view text);

// Why a text answer cannot go into a field, or nullptr when it can: too
// long for the field, holding a double quote (fields are written between
// double quotes into the configuration file) or a control character (a NUL
// or a line end included: no file the answer reaches could hold it).
const char* TextRefusal(std::string_view answer);

// The refusal for a path answer that is not empty and not a full path, or
// nullptr.
const char* FullPathRefusal(std::string_view answer);

// Extra rule of one question; returns the refusal message or nullptr.
using TextRule = const char* (*)(std::string_view answer);

// Default prompt for a text field. An empty answer keeps the field; a
// refused answer prints a line end and the refusal, then asks again.
// False when standard input ended (already reported).
bool AskText(Console& console, const AnswerKey& key, std::string_view question, TextField& field,
             TextRule rule = nullptr);

// Default prompt for a number. An answer that is no number, or lies outside
// [lowest, highest], prints "Illeagle value." and asks again. False when
// standard input ended (already reported).
bool AskNumber(Console& console, const AnswerKey& key, std::string_view question, uint32_t* field,
               uint32_t lowest = 0, uint32_t highest = UINT32_MAX);

enum class YesNo { kYes, kNo, kOther, kEndOfInput };

// Prints the question without a line end, reads one answer and compares
// it whole (a NUL byte included) with Y and N, ignoring case. Prints
// nothing after the answer.
YesNo AskYesNo(Console& console, const AnswerKey& key, std::string_view question);

// Path confirmation: the caller has printed its checking text. Accepts a
// full path when it opens for reading as a regular file, without blocking
// (prints "\tOK"), or when the administrator answers Y and nothing but a
// regular file (or nothing) is there; otherwise asks for a new full path.
// An answer file names the file to use under `key`: where the path found
// would be accepted without a question but is another, the file's path is
// checked in its place. False when standard input ended (already reported).
bool ConfirmPath(Console& console, const AnswerKey& key, TextField& field,
                 std::string_view confirm_question, std::string_view path_question);
