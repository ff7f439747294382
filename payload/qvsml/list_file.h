#pragma once

// Editing the service's small list files (the virtual domain list, the user
// lists) so that no edit is ever lost or half-written: editors of one folder
// take turns under a lock on the folder, and the new text is written to a
// new file in the same folder, flushed and renamed over the old one.

#include <sys/types.h>

#include <string>

class ListFileEdit {
 public:
  ListFileEdit() = default;
  ~ListFileEdit();
  ListFileEdit(const ListFileEdit&) = delete;
  ListFileEdit& operator=(const ListFileEdit&) = delete;

  // Opens `folder` (never through a link), waits for its lock and reads the
  // file `name` in it, which may be missing. False with `err` when the
  // folder cannot be opened or the file is not a readable regular file.
  bool Begin(const std::string& folder, const std::string& name, std::string* err);

  bool existed() const { return existed_; }
  const std::string& text() const { return text_; }

  // Puts `text` in place of the file. The new file keeps the old one's
  // owner and mode; a file that did not exist gets `new_mode` and the owner
  // `new_uid`:`new_gid` (root unless given). False with `err` when any step
  // fails; the old file is then untouched.
  bool Commit(const std::string& text, mode_t new_mode, std::string* err, uid_t new_uid = 0,
              gid_t new_gid = 0);

 private:
  std::string folder_, name_;
  int folder_fd_ = -1;
  bool existed_ = false;
  mode_t old_mode_ = 0;
  uid_t old_uid_ = 0;
  gid_t old_gid_ = 0;
  std::string text_;
};
