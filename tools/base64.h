#pragma once

// Base64 with the standard alphabet and "=" padding, as the package is
// carried inside the installer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// An encoder fed with bytes in pieces of any size, so a file of any length
// encodes in constant memory. The text is broken into lines of
// `line_length` characters (0: one line) separated by a single line feed,
// with no line feed after the last line.
class Base64Encoder {
 public:
  explicit Base64Encoder(size_t line_length) : line_length_(line_length) {}

  // The most characters one Feed of `size` bytes, or Finish, can produce.
  size_t MaxOutput(size_t size) const;

  // Encodes `data` into `out` (room for MaxOutput(size) characters); up to
  // two bytes wait for the next piece. Returns the characters written.
  size_t Feed(const uint8_t* data, size_t size, char* out);
  // Encodes the bytes still waiting, with "=" padding, into `out` (room for
  // MaxOutput(0)). Returns the characters written.
  size_t Finish(char* out);

 private:
  char* PutGroup(uint32_t group, char* out);
  char* Put(char c, char* out);

  size_t line_length_;
  size_t column_ = 0;        // characters on the current line
  uint8_t waiting_[2] = {};  // bytes short of a whole group
  size_t waiting_size_ = 0;
};

// Returns `data` encoded as Base64Encoder does. Changes nothing on disk.
std::string EncodeBase64(std::string_view data, size_t line_length);

// A strict decoder fed with text in pieces of any size, so a file of any
// length decodes in constant memory. Line feeds and CR LF pairs between
// characters are skipped; anything else outside the alphabet, "=" anywhere
// but in the padding of the final group, data after that padding and a final
// group cut short are refused with the byte offset of the fault.
class Base64Decoder {
 public:
  // The most bytes one Feed of `text_size` characters can produce.
  static size_t MaxOutput(size_t text_size) { return text_size / 4 * 3 + 3; }

  // Decodes `text` into `out` (room for MaxOutput(size) bytes) and sets
  // `*out_size` to the bytes written. Returns false with `*err` set on the
  // first fault; the decoder must then not be fed again.
  bool Feed(const char* text, size_t size, uint8_t* out, size_t* out_size, std::string* err);
  // Returns false with `*err` set when the text ended inside a group or
  // after a lone carriage return.
  bool Finish(std::string* err) const;

 private:
  bool Fault(const char* what, uint64_t offset, std::string* err) const;

  uint64_t offset_ = 0;          // of the next character fed
  uint32_t group_[4] = {};       // sextets of the group being read
  int filled_ = 0;               // characters of that group seen, "=" included
  int padding_ = 0;              // "=" among them
  uint64_t group_offset_ = 0;    // where that group began
  uint64_t padding_offset_ = 0;  // where its first "=" stood
  bool padded_ = false;          // a padded group ended the data
  bool after_cr_ = false;        // the last character was a carriage return
  uint64_t cr_offset_ = 0;
};

// Returns true and sets `*out` to the bytes `text` decodes to, or false with
// `*err` set. Changes nothing on disk.
bool DecodeBase64(std::string_view text, std::string* out, std::string* err);
