#include "payload/vpop3d/maildrop.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "payload/qvsml/write_all.h"
#include "payload/vpop3d/region_lines.h"

namespace {

// 64-bit FNV-1a: the unique id of a message is the hash of its bytes.
uint64_t Fnv1a(uint64_t hash, const std::string& text) {
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  return hash;
}
constexpr uint64_t kFnvStart = 14695981039346656037ULL;

bool CopyRange(int from_fd, off_t from, off_t to, int to_fd) {
  char buffer[64 * 1024];
  while (from < to) {
    const size_t want = static_cast<size_t>(std::min<off_t>(to - from, sizeof buffer));
    ssize_t n = pread(from_fd, buffer, want, from);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (!WriteAll(to_fd, buffer, static_cast<size_t>(n))) return false;
    from += n;
  }
  return true;
}

}  // namespace

int FromQuoteDepth(const std::string& line) {
  const size_t quotes = line.find_first_not_of('>');
  if (quotes == std::string::npos || line.compare(quotes, 5, "From ") != 0) return -1;
  return static_cast<int>(quotes);
}

bool Maildrop::Scan(int fd, std::string* err) {
  fd_ = fd;
  messages_.clear();
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *err = std::string("mailbox: ") + strerror(errno);
    return false;
  }
  scanned_end_ = st.st_size;
  RegionLines lines(fd, 0, st.st_size);
  LinePiece piece;
  uint64_t hash = kFnvStart;
  bool last_line_empty = false;
  off_t last_line_start = 0;
  auto close_message = [&](off_t end) {
    if (messages_.empty()) return;
    MaildropMessage& message = messages_.back();
    message.end = end;
    message.content_end = end;
    // The blank line that separates messages is the file's, not the message's.
    if (last_line_empty && last_line_start >= message.body) {
      message.content_end = last_line_start;
      message.octets -= 2;
    }
    char uid[17];
    snprintf(uid, sizeof uid, "%016llx", static_cast<unsigned long long>(hash));
    message.uid = uid;
  };
  while (lines.Next(&piece)) {
    if (piece.starts_line && FromQuoteDepth(piece.text) == 0) {
      close_message(piece.offset);
      MaildropMessage message;
      message.start = piece.offset;
      message.body = piece.offset + static_cast<off_t>(piece.text.size()) + 1;
      messages_.push_back(message);
      hash = Fnv1a(kFnvStart, piece.text);
      last_line_empty = false;
      continue;
    }
    // Bytes before the first "From " line belong to no message.
    if (messages_.empty()) continue;
    MaildropMessage& message = messages_.back();
    hash = Fnv1a(hash, piece.text + "\n");
    size_t length = piece.text.size();
    if (piece.starts_line && FromQuoteDepth(piece.text) > 0) --length;
    if (piece.ends_line && !piece.text.empty() && piece.text.back() == '\r') --length;
    message.octets += length + (piece.ends_line ? 2 : 0);
    if (piece.starts_line) {
      last_line_start = piece.offset;
      last_line_empty = piece.text.empty() && piece.ends_line;
    }
  }
  if (lines.failed()) {
    *err = "mailbox: cannot read it";
    return false;
  }
  close_message(st.st_size);
  // Two identical messages must still have ids of their own.
  std::set<std::string> seen;
  for (size_t i = 0; i < messages_.size(); ++i) {
    if (!seen.insert(messages_[i].uid).second)
      messages_[i].uid.append(1, '-').append(std::to_string(i + 1));
  }
  return true;
}

MaildropMessage* Maildrop::Find(uint32_t number) {
  if (number < 1 || number > messages_.size() || messages_[number - 1].deleted) return nullptr;
  return &messages_[number - 1];
}

bool Maildrop::Send(const MaildropMessage& message, bool top, uint32_t top_lines, Pop3Output* out) {
  RegionLines lines(fd_, message.body, message.content_end);
  LinePiece piece;
  bool in_header = true;
  uint32_t body_lines = 0;
  while (lines.Next(&piece)) {
    if (top && !in_header && body_lines >= top_lines) break;
    std::string& text = piece.text;
    if (piece.ends_line && !text.empty() && text.back() == '\r') text.pop_back();
    size_t skip = 0;
    if (piece.starts_line) {
      if (FromQuoteDepth(text) > 0) skip = 1;  // the quote delivery added
      if (!text.empty() && text[0] == '.') out->Raw(".", 1);
      if (!in_header) ++body_lines;
      if (text.empty() && piece.ends_line) in_header = false;
    }
    out->Raw(text.data() + skip, text.size() - skip);
    if (piece.ends_line) out->Raw("\r\n", 2);
    if (out->failed()) return false;
  }
  if (lines.failed()) return false;
  out->Line(".");
  return out->Flush();
}

bool Maildrop::Commit(int domain_fd, const std::string& user, std::string* err) {
  bool any_deleted = false;
  for (const MaildropMessage& message : messages_) any_deleted = any_deleted || message.deleted;
  if (!any_deleted) return true;
  struct stat st;
  if (fstat(fd_, &st) != 0) {
    *err = std::string("mailbox: ") + strerror(errno);
    return false;
  }
  // A leading dot is never a user's name, so this name is ours alone.
  const std::string temp = "." + user + ".qvnew";
  unlinkat(domain_fd, temp.c_str(), 0);
  int fd =
      openat(domain_fd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *err = temp + ": " + strerror(errno);
    return false;
  }
  bool ok = true;
  for (const MaildropMessage& message : messages_) {
    if (!message.deleted) ok = ok && CopyRange(fd_, message.start, message.end, fd);
  }
  // What was added after the scan by a program that ignores the locks.
  ok = ok && CopyRange(fd_, scanned_end_, st.st_size, fd);
  ok = ok && fchown(fd, st.st_uid, st.st_gid) == 0 && fchmod(fd, st.st_mode & 07777) == 0 &&
       fsync(fd) == 0;
  const int error = errno;
  ok = close(fd) == 0 && ok;
  ok = ok && renameat(domain_fd, temp.c_str(), domain_fd, user.c_str()) == 0;
  if (!ok) {
    *err = "rewriting the mailbox: " + std::string(strerror(errno ? errno : error));
    unlinkat(domain_fd, temp.c_str(), 0);
    return false;
  }
  fsync(domain_fd);
  return true;
}
