#include "payload/vpop3d/maildrop.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "common/write_all.h"
#include "payload/vpop3d/pop3_text.h"
#include "payload/vpop3d/region_reader.h"

namespace {

// 64-bit FNV-1a over the bytes of the mailbox from `from` up to `to`; a
// line feed that ends the stretch is left out when `drop_final_feed`.
bool HashRange(int fd, off_t from, off_t to, bool drop_final_feed, size_t read_size,
               uint64_t* hash) {
  RegionReader reader(fd, from, to, read_size);
  const char* data;
  size_t size;
  while (reader.Next(&data, &size)) {
    if (drop_final_feed && reader.offset() + static_cast<off_t>(size) == to &&
        data[size - 1] == '\n')
      --size;
    for (size_t i = 0; i < size; ++i) {
      *hash ^= static_cast<unsigned char>(data[i]);
      *hash *= 1099511628211ULL;
    }
  }
  return !reader.failed();
}
constexpr uint64_t kFnvStart = 14695981039346656037ULL;

bool CopyRange(int from_fd, off_t from, off_t to, int to_fd) {
  RegionReader reader(from_fd, from, to);
  const char* data;
  size_t size;
  while (reader.Next(&data, &size)) {
    if (!WriteAll(to_fd, data, size)) return false;
  }
  return !reader.failed();
}

// Ends `message` at `end`; `text` has read it from its body on, which
// starts at `body`.
void CloseMessage(const Pop3Text& text, off_t body, off_t end, MaildropMessage* message) {
  message->end = end;
  message->content_end = end;
  message->octets = text.octets();
  // The blank line that separates messages is the file's, not the message's.
  if (text.last_line_blank()) {
    message->content_end = body + static_cast<off_t>(text.blank_line_start());
    message->octets = text.octets_before_blank_line();
  }
}

}  // namespace

bool Maildrop::Scan(int fd, std::string* err) {
  fd_ = fd;
  messages_.clear();
  uids_.clear();
  struct stat st;
  if (fstat(fd, &st) != 0) {
    *err = std::string("mailbox: ") + strerror(errno);
    return false;
  }
  scanned_end_ = st.st_size;
  RegionReader reader(fd, 0, st.st_size, read_size_);
  // Bytes before the first "From " line are read as a message that is not
  // kept: they belong to none.
  Pop3Text text(nullptr, false);
  text.StopAtFromLine();
  off_t text_start = 0;
  bool in_from_line = false;  // passing over the rest of a "From " line
  const char* data;
  size_t size;
  while (reader.Next(&data, &size)) {
    size_t at = 0;
    while (at < size) {
      if (in_from_line) {
        const void* feed = memchr(data + at, '\n', size - at);
        if (!feed) break;
        at = static_cast<size_t>(static_cast<const char*>(feed) - data) + 1;
        in_from_line = false;
        text_start = reader.offset() + static_cast<off_t>(at);
        messages_.back().body = text_start;
        text = Pop3Text(nullptr, false);
        text.StopAtFromLine();
        continue;
      }
      at += text.Take(data + at, size - at);
      if (!text.done()) continue;
      const off_t start = text_start + static_cast<off_t>(text.line_start());
      if (!messages_.empty()) CloseMessage(text, text_start, start, &messages_.back());
      MaildropMessage message;
      message.start = start;
      messages_.push_back(message);
      in_from_line = true;
    }
  }
  if (reader.failed()) {
    *err = "mailbox: cannot read it";
    return false;
  }
  if (in_from_line) {
    // A "From " line without its line feed ends the file: an empty message.
    MaildropMessage& last = messages_.back();
    last.body = last.content_end = last.end = st.st_size;
  } else if (!messages_.empty()) {
    text.Finish();
    CloseMessage(text, text_start, st.st_size, &messages_.back());
  }
  return true;
}

MaildropMessage* Maildrop::Find(uint32_t number) {
  if (number < 1 || number > messages_.size() || messages_[number - 1].deleted) return nullptr;
  return &messages_[number - 1];
}

bool Maildrop::Uids(const std::vector<std::string>** uids) {
  if (uids_.size() != messages_.size()) {
    std::vector<std::string> found;
    std::set<std::string> seen;
    for (size_t i = 0; i < messages_.size(); ++i) {
      const MaildropMessage& message = messages_[i];
      // The line feed of the "From " line is left out, as ids were always made.
      uint64_t hash = kFnvStart;
      if (!HashRange(fd_, message.start, message.body, true, read_size_, &hash) ||
          !HashRange(fd_, message.body, message.end, false, read_size_, &hash))
        return false;
      char uid[17];
      snprintf(uid, sizeof uid, "%016llx", static_cast<unsigned long long>(hash));
      found.push_back(uid);
      // Two identical messages must still have ids of their own.
      if (!seen.insert(found.back()).second)
        found.back().append(1, '-').append(std::to_string(i + 1));
    }
    uids_ = std::move(found);
  }
  *uids = &uids_;
  return true;
}

bool Maildrop::Send(const MaildropMessage& message, bool top, uint32_t top_lines, Pop3Output* out) {
  RegionReader reader(fd_, message.body, message.content_end, read_size_);
  Pop3Text text(out, true);
  if (top) text.StopAfterBodyLines(top_lines);
  const char* data;
  size_t size;
  while (!text.done() && !out->failed() && reader.Next(&data, &size)) text.Take(data, size);
  if (reader.failed() || out->failed()) return false;
  text.Finish();
  out->Line(".");
  return !out->failed();
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
