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

// Control characters as the text fields refuse them.
inline bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// A value an answer could have stored in a text field: at most 79
// characters, no double quote, no control character.
inline std::string ConsumeFieldText(FuzzedDataProvider& provider) {
  std::string text = provider.ConsumeRandomLengthString(79);
  std::erase_if(text, [](char c) { return c == '"' || IsControl(c); });
  return text;
}

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
