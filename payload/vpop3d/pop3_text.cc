#include "payload/vpop3d/pop3_text.h"

#include <string.h>

#include <algorithm>

#include "payload/vpop3d/pop3_output.h"

namespace {

constexpr char kFromWord[] = "From ";
constexpr size_t kFromWordSize = sizeof kFromWord - 1;

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
  // A line that holds nothing but its end (CR LF included) ends the header.
  const bool empty = line_length_ == 0 || (line_length_ == 1 && last_cr_);
  last_line_start_ = line_start_;
  last_line_blank_ = line_length_ == 0;
  octets_before_last_line_ = octets_at_line_start_;
  phase_ = Phase::kLineStart;
  line_length_ = 0;
  last_cr_ = false;
  if (in_header_)
    in_header_ = !empty;
  else
    ++body_lines_;
  if (stop_after_lines_ && !in_header_ && body_lines_ >= top_lines_) done_ = true;
}

size_t Pop3Text::Take(const char* data, size_t size) {
  size_t at = 0;
  while (at < size && !done_) {
    if (phase_ == Phase::kRest) {
      const void* feed = memchr(data + at, '\n', size - at);
      const size_t end = feed ? static_cast<size_t>(static_cast<const char*>(feed) - data) : size;
      if (end > at) {
        Emit(data + at, end - at);
        line_length_ += end - at;
        last_cr_ = data[end - 1] == '\r';
      }
      at = end;
      if (feed) {
        ++at;
        EndLine();
      }
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
