#pragma once

// Appends one message to an mbox file as mail readers expect it: a
// "From " line, the message with every line matching ">*From " given one
// more ">" (so that a reader can take exactly one off again), and a blank
// line after it. The message is streamed: memory stays the same whatever
// its size.

#include <sys/types.h>

#include <cstddef>
#include <string>

class MboxWriter {
 public:
  // Writes to `fd` at its current offset; `from_line` is the whole
  // "From sender date" line without its line feed.
  MboxWriter(int fd, const std::string& from_line);

  // Adds message bytes; false (errno set) when a write fails.
  bool Write(const char* data, size_t size);
  // Ends the message (a line feed if it lacked one, then the blank line)
  // and writes out what is buffered; false (errno set) when a write fails.
  bool Finish();

 private:
  void Put(char c);
  void PutQuotePrefix(bool quoted);
  bool Flush();

  int fd_;
  std::string buffer_;
  bool failed_ = false;
  // How far the current line has matched ">*From ": how many letters of
  // "From " followed the line's ">", if any.
  bool in_prefix_ = true;
  size_t matched_ = 0;
  char last_ = '\n';
};

// "From SENDER DATE" for the envelope sender (MAILER-DAEMON when empty or
// unusable) and the time `now`, in the asctime layout of mbox files.
std::string MboxFromLine(const std::string& sender, time_t now);
