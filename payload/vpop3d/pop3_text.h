#pragma once

// A message as the mailbox holds it, turned into the text a POP3 client
// receives:
// - the ">" that delivery put before a line matching ">*From " comes off;
// - every line ends with CR LF (a CR the line already had is not doubled),
//   the last one too when the mailbox lacks its line feed;
// - when sending, a line that starts with "." gets another in front.
// The bytes come in pieces of any size, cut anywhere, a line across any
// number of them; what comes out and the octets counted do not depend on
// where the cuts fall. Memory stays the same whatever the line's length.
//
// Counting and sending go through the same steps, so the size a listing
// announces is the size of the message sent.

#include <cstddef>
#include <cstdint>

class Pop3Output;

class Pop3Text {
 public:
  // Writes to `out`, or only counts when it is null; `stuff_dots` for a
  // multi-line answer.
  Pop3Text(Pop3Output* out, bool stuff_dots) : out_(out), stuff_dots_(stuff_dots) {}

  // Stops once the header and `lines` lines of the body have gone (TOP).
  void StopAfterBodyLines(uint32_t lines);
  // Stops as soon as a line turns out to be an unquoted "From " line: the
  // start of the mailbox's next message.
  void StopAtFromLine() { stop_at_from_line_ = true; }

  // Takes bytes that follow those taken before; returns how many it took,
  // all unless it stopped (done()).
  size_t Take(const char* data, size_t size);
  // Ends a last line that lacked its line feed.
  void Finish();

  bool done() const { return done_; }
  // Octets of the message text so far, without the dots put in front.
  uint64_t octets() const { return octets_; }
  // Bytes taken so far.
  uint64_t taken() const { return taken_; }
  // Where (in bytes taken) the "From " line it stopped at starts.
  uint64_t line_start() const { return line_start_; }
  // Whether the last whole line was a bare line feed; if so, where it
  // started and the octets before it.
  bool last_line_blank() const { return last_line_blank_; }
  uint64_t blank_line_start() const { return blank_line_start_; }
  uint64_t octets_before_blank_line() const { return octets_before_blank_line_; }

 private:
  // How much of the line's start is known: nothing yet, a run of ">",
  // some letters of "From " (after the run, if any), or all that matters.
  enum class Phase { kLineStart, kQuotes, kFromWord, kRest };

  void Emit(const char* data, size_t size);
  void EmitQuotes(uint64_t count);
  // Gives out the ">" and letters held back at the start of the line,
  // less one ">" when the line was quoted.
  void ReleasePrefix(bool quoted);
  void EndLine();
  // Takes the rest of the line at `at`, and the lines after it that start
  // plainly; returns where it stopped.
  size_t TakeRest(const char* data, size_t size, size_t at);

  Pop3Output* out_;
  bool stuff_dots_;
  bool stop_at_from_line_ = false;
  bool stop_after_lines_ = false;
  uint32_t top_lines_ = 0;

  Phase phase_ = Phase::kLineStart;
  uint64_t quotes_ = 0;   // ">" held back
  size_t matched_ = 0;    // letters of "From " held back
  bool last_cr_ = false;  // the last byte of the line given out was a CR
  uint64_t line_length_ = 0;
  bool in_header_ = true;
  uint32_t body_lines_ = 0;
  bool done_ = false;

  uint64_t octets_ = 0;
  uint64_t taken_ = 0;
  // Kept only for lines whose start is looked at.
  uint64_t line_start_ = 0;
  uint64_t octets_at_line_start_ = 0;
  bool last_line_blank_ = false;
  uint64_t blank_line_start_ = 0;
  uint64_t octets_before_blank_line_ = 0;
};
