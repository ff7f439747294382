#pragma once

// What every fuzz target shares: a property check that stops the run with
// the property's text, and the rules an administrator's answer line obeys.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <string_view>

// Stops the run, so libFuzzer keeps the input, when a property fails.
#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      abort();                                                                         \
    }                                                                                  \
  } while (0)

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

// A value an answer could have stored in a text field: one line, at most
// 79 characters, no double quote.
inline std::string ConsumeFieldText(FuzzedDataProvider& provider) {
  std::string text = provider.ConsumeRandomLengthString(79);
  std::erase_if(text, [](char c) { return c == '\n' || c == '"'; });
  return text;
}

// An answer as a text field keeps it: up to its first NUL.
inline std::string_view CutAtNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// The lines of `text` as a reader splits them at line feeds; a last line
// without one counts.
inline size_t CountLines(std::string_view text) {
  size_t lines = 0;
  for (size_t start = 0; start < text.size(); ++lines) {
    size_t end = text.find('\n', start);
    start = end == std::string_view::npos ? text.size() : end + 1;
  }
  return lines;
}
