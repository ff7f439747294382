#include "payload/vpop3d/pop3_text.h"

#include <string.h>

#include <algorithm>

#include "payload/vpop3d/pop3_output.h"

namespace {

constexpr char kFromWord[] = "From ";
constexpr size_t kFromWordSize = sizeof kFromWord - 1;

// A line that starts with one of these is looked at a byte at a time: a
// quote, perhaps "From ", a dot, or nothing (an empty line).
inline bool StartMatters(char c) { return c == '>' || c == kFromWord[0] || c == '.' || c == '\n'; }

// Counting needs no copy: from `at`, the first byte of a plain line, whole
// blocks of 64 bytes are counted at once until a block in which a line
// starts that matters, or the end of the data. Adds the blocks' line feeds,
// and those of them that follow a CR; returns where it stopped. Each block
// looks one byte back (data[at - 1] is a line feed) and one ahead. The
// loop is written so that compilers turn it into vector instructions:
// bytes, no branch.
size_t CountPlainBlocks(const char* data, size_t size, size_t at, uint64_t* feeds,
                        uint64_t* cr_feeds) {
  constexpr size_t kBlock = 64;
  while (size - at > kBlock) {
    const unsigned char* around = reinterpret_cast<const unsigned char*>(data + at - 1);
    unsigned char matters = 0, block_feeds = 0, block_cr_feeds = 0;
    for (size_t i = 0; i < kBlock; ++i) {
      const unsigned char feed = around[i + 1] == '\n' ? 1 : 0;
      const unsigned char next = around[i + 2];
      matters |= feed & ((next == '>' ? 1 : 0) | (next == kFromWord[0] ? 1 : 0) |
                         (next == '.' ? 1 : 0) | (next == '\n' ? 1 : 0));
      block_feeds += feed;
      block_cr_feeds += feed & (around[i] == '\r' ? 1 : 0);
    }
    if (matters) break;
    *feeds += block_feeds;
    *cr_feeds += block_cr_feeds;
    at += kBlock;
  }
  return at;
}

}  // namespace

void Pop3Text::StopAfterBodyLines(uint32_t lines) {
  stop_after_lines_ = true;
  top_lines_ = lines;
}

void Pop3Text::Emit(const char* data, size_t size) {
  if (out_) out_->Raw(data, size);
  octets_ += size;
}

void Pop3Text::EmitQuotes(uint64_t count) {
  static constexpr char kQuotes[] =
      ">>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";
  while (count > 0) {
    const size_t part = static_cast<size_t>(std::min<uint64_t>(count, sizeof kQuotes - 1));
    Emit(kQuotes, part);
    count -= part;
  }
}

void Pop3Text::ReleasePrefix(bool quoted) {
  const uint64_t quotes = quoted ? quotes_ - 1 : quotes_;
  EmitQuotes(quotes);
  Emit(kFromWord, matched_);
  line_length_ += quotes + matched_;
  if (quotes + matched_ > 0) last_cr_ = false;
  quotes_ = 0;
  matched_ = 0;
  phase_ = Phase::kRest;
}

void Pop3Text::EndLine() {
  if (last_cr_)
    Emit("\n", 1);
  else
    Emit("\r\n", 2);
  if (line_length_ == 0) {
    blank_line_start_ = line_start_;
    octets_before_blank_line_ = octets_at_line_start_;
  }
  last_line_blank_ = line_length_ == 0;
  if (in_header_) {
    // A line that holds nothing but its end (CR LF included) ends it.
    in_header_ = !(line_length_ == 0 || (line_length_ == 1 && last_cr_));
    if (!in_header_ && stop_after_lines_ && top_lines_ == 0) done_ = true;
  } else if (stop_after_lines_ && ++body_lines_ >= top_lines_) {
    done_ = true;
  }
  phase_ = Phase::kLineStart;
  line_length_ = 0;
  last_cr_ = false;
}

size_t Pop3Text::TakeRest(const char* data, size_t size, size_t at) {
  // Most lines of a message need nothing but a copy and a CR: they are
  // taken here, with the state in locals that the compiler can keep in
  // registers, and the members brought up to date when it stops. A line
  // whose start must be looked at, an empty line, the header and TOP go
  // the long way.
  static constexpr char kLineEnd[] = "\r\n";
  Pop3Output* const out = out_;
  uint64_t octets = octets_;
  uint64_t line_length = line_length_;
  bool last_cr = last_cr_;
  bool last_line_blank = last_line_blank_;
  bool mid_line = true;
  for (;;) {
    const void* feed = memchr(data + at, '\n', size - at);
    const size_t end = feed ? static_cast<size_t>(static_cast<const char*>(feed) - data) : size;
    if (end > at) {
      if (out) out->Raw(data + at, end - at);
      octets += end - at;
      line_length += end - at;
      last_cr = data[end - 1] == '\r';
    }
    at = end;
    if (!feed) break;
    ++at;
    if (line_length == 0 || in_header_ || stop_after_lines_) {
      octets_ = octets;
      line_length_ = line_length;
      last_cr_ = last_cr;
      EndLine();
      octets = octets_;
      last_line_blank = last_line_blank_;
    } else {
      // CR LF, or the LF alone after a CR the line had.
      const size_t line_end = last_cr ? 1 : 2;
      if (out) out->Raw(kLineEnd + 2 - line_end, line_end);
      octets += line_end;
      last_line_blank = false;
    }
    line_length = 0;
    last_cr = false;
    mid_line = false;
    if (done_ || at == size || StartMatters(data[at])) break;
    mid_line = true;
    if (!out && !in_header_ && !stop_after_lines_) {
      uint64_t feeds = 0, cr_feeds = 0;
      const size_t end = CountPlainBlocks(data, size, at, &feeds, &cr_feeds);
      if (end > at) {
        // Each line feed goes out as CR LF, or alone after a CR.
        octets += end - at + feeds - cr_feeds;
        const void* last_feed = feeds > 0 ? memrchr(data + at, '\n', end - at) : nullptr;
        line_length =
            last_feed ? end - 1 - static_cast<size_t>(static_cast<const char*>(last_feed) - data)
                      : end - at;
        last_cr = data[end - 1] == '\r';
        if (feeds > 0) last_line_blank = false;
        at = end;
      }
    }
  }
  octets_ = octets;
  line_length_ = line_length;
  last_cr_ = last_cr;
  last_line_blank_ = last_line_blank;
  phase_ = mid_line ? Phase::kRest : Phase::kLineStart;
  return at;
}

size_t Pop3Text::Take(const char* data, size_t size) {
  size_t at = 0;
  while (at < size && !done_) {
    if (phase_ == Phase::kRest) {
      at = TakeRest(data, size, at);
      continue;
    }
    const char c = data[at];
    switch (phase_) {
      case Phase::kLineStart:
        line_start_ = taken_ + at;
        octets_at_line_start_ = octets_;
        if (c == '>') {
          quotes_ = 1;
          phase_ = Phase::kQuotes;
          ++at;
        } else if (c == kFromWord[0]) {
          matched_ = 1;
          phase_ = Phase::kFromWord;
          ++at;
        } else {
          if (c == '.' && stuff_dots_ && out_) out_->Raw(".", 1);
          phase_ = Phase::kRest;  // which takes `c`
        }
        break;
      case Phase::kQuotes:
        if (c == '>') {
          ++quotes_;
          ++at;
        } else if (c == kFromWord[0]) {
          matched_ = 1;
          phase_ = Phase::kFromWord;
          ++at;
        } else {
          ReleasePrefix(false);
        }
        break;
      case Phase::kFromWord:
        if (c != kFromWord[matched_]) {
          ReleasePrefix(false);
          break;
        }
        ++at;
        if (++matched_ < kFromWordSize) break;
        if (quotes_ == 0 && stop_at_from_line_)
          done_ = true;
        else
          ReleasePrefix(quotes_ > 0);  // an unquoted one inside a message stays as it is
        break;
      case Phase::kRest:
        break;
    }
  }
  taken_ += at;
  return at;
}

void Pop3Text::Finish() {
  if (done_ || phase_ == Phase::kLineStart) return;
  if (phase_ != Phase::kRest) ReleasePrefix(false);
  EndLine();
}
