#include "payload/vdeliver/mbox_writer.h"

#include <errno.h>
#include <time.h>
#include <unistd.h>

#include "common/write_all.h"

namespace {

constexpr char kFromWord[] = "From ";
constexpr size_t kFromWordSize = sizeof kFromWord - 1;
constexpr size_t kFlushSize = 64 * 1024;

}  // namespace

MboxWriter::MboxWriter(int fd, const std::string& from_line) : fd_(fd) {
  buffer_.reserve(kFlushSize * 2);
  buffer_ = from_line + "\n";
}

void MboxWriter::PutQuotePrefix(bool quoted) {
  // The line's ">" went out as they came: one more after them is the same
  // text as one more in front.
  if (quoted) buffer_.push_back('>');
  buffer_.append(kFromWord, matched_);
  if (quoted || matched_ > 0) last_ = buffer_.back();
  in_prefix_ = false;
}

void MboxWriter::Put(char c) {
  if (in_prefix_) {
    if (c == '>' && matched_ == 0) {
      buffer_.push_back(c);
      last_ = c;
      return;
    }
    if (c == kFromWord[matched_]) {
      if (++matched_ == kFromWordSize) PutQuotePrefix(true);
      return;
    }
    PutQuotePrefix(false);
  }
  buffer_.push_back(c);
  last_ = c;
  if (c == '\n') {
    in_prefix_ = true;
    matched_ = 0;
  }
}

bool MboxWriter::Flush() {
  if (!WriteAll(fd_, buffer_.data(), buffer_.size())) {
    failed_ = true;
    return false;
  }
  buffer_.clear();
  return true;
}

bool MboxWriter::Write(const char* data, size_t size) {
  if (failed_) return false;
  for (size_t i = 0; i < size; ++i) {
    Put(data[i]);
    if (buffer_.size() >= kFlushSize && !Flush()) return false;
  }
  return true;
}

bool MboxWriter::Finish() {
  if (failed_) return false;
  // A line cut short at the end still belongs to the message as written.
  if (in_prefix_) PutQuotePrefix(false);
  if (last_ != '\n') buffer_.push_back('\n');
  buffer_.push_back('\n');
  return Flush();
}

std::string MboxFromLine(const std::string& sender, time_t now) {
  std::string address = sender;
  bool usable = !address.empty() && address.size() <= 512;
  for (unsigned char c : address) usable = usable && c > ' ' && c != 0x7f;
  if (!usable) address = "MAILER-DAEMON";
  struct tm local;
  char date[64];
  if (!localtime_r(&now, &local) ||
      strftime(date, sizeof date, "%a %b %e %H:%M:%S %Y", &local) == 0)
    return "From " + address + " Thu Jan  1 00:00:00 1970";
  return "From " + address + " " + date;
}
