#pragma once

// Answers by name: a file of `key = value` lines that answers the
// installer's questions by their keys instead of by their order, so that
// the same file serves hosts that ask more or fewer questions.

#include <map>
#include <string>
#include <string_view>

// A question's name in an answer file. When the file leaves the key out, a
// question with a default takes it, as an empty line would; a question
// without one fails the run.
struct AnswerKey {
  std::string_view name;
  bool has_default;
};

// The driver's questions.
inline constexpr AnswerKey kMailKey = {"mail", false};
inline constexpr AnswerKey kStartKey = {"start", true};  // an empty answer does not start it
// The server dialogue.
inline constexpr AnswerKey kPortKey = {"port", true};
inline constexpr AnswerKey kDisconnectTimeKey = {"disconnect_time", true};
inline constexpr AnswerKey kFolderKey = {"folder", true};
inline constexpr AnswerKey kOverwriteFolderKey = {"overwrite_folder", false};
inline constexpr AnswerKey kCreatePopusersKey = {"create_popusers", false};
inline constexpr AnswerKey kRootFolderKey = {"root_folder", true};
// The DNS dialogue. A path key names the file to use: the path found is
// kept when it is that file, and the file's path is given otherwise.
inline constexpr AnswerKey kBindKey = {"bind", true};
inline constexpr AnswerKey kNamedConfKey = {"named_conf", false};
inline constexpr AnswerKey kNamedPidKey = {"named_pid", false};
inline constexpr AnswerKey kNs1Key = {"ns1", true};
inline constexpr AnswerKey kRefreshKey = {"refresh", true};
inline constexpr AnswerKey kRetryKey = {"retry", true};
inline constexpr AnswerKey kExpireKey = {"expire", true};
inline constexpr AnswerKey kTtlKey = {"ttl", true};
// The mail stages.
inline constexpr AnswerKey kCreateMailGroupKey = {"create_mail_group", false};
inline constexpr AnswerKey kSendmailCfKey = {"sendmail_cf", false};
inline constexpr AnswerKey kSendmailPidKey = {"sendmail_pid", false};
// The folder stage and the copy stage.
inline constexpr AnswerKey kWindowsAddressKey = {"windows_address", false};
inline constexpr AnswerKey kOverwriteLibqvdnsKey = {"overwrite_libqvdns", false};
inline constexpr AnswerKey kOverwriteLibqvsmlKey = {"overwrite_libqvsml", false};
inline constexpr AnswerKey kOverwriteQuorvaneKey = {"overwrite_quorvane", false};

// Every key, in the order the questions come.
inline constexpr AnswerKey kAnswerKeys[] = {
    kMailKey,
    kPortKey,
    kDisconnectTimeKey,
    kFolderKey,
    kOverwriteFolderKey,
    kCreatePopusersKey,
    kRootFolderKey,
    kBindKey,
    kNamedConfKey,
    kNamedPidKey,
    kNs1Key,
    kRefreshKey,
    kRetryKey,
    kExpireKey,
    kTtlKey,
    kCreateMailGroupKey,
    kSendmailCfKey,
    kSendmailPidKey,
    kWindowsAddressKey,
    kOverwriteLibqvdnsKey,
    kOverwriteLibqvsmlKey,
    kOverwriteQuorvaneKey,
    kStartKey,
};

struct AnswerFile {
  std::string name;  // as the administrator gave it, for messages
  std::map<std::string, std::string, std::less<>> answers;
};

// Reads the text of an answer file named `name`: `key = value` lines (blanks
// around the key and the value do not count, nor a carriage return before
// the line end), blank lines and comment lines whose first character other
// than a blank is '#'. False, with `err` naming the file and the line, on
// an unknown key, a key given twice, a line that is no `key = value`, a
// control character or an answer longer than an answer line can be.
bool ParseAnswerFile(std::string_view text, const std::string& name, AnswerFile* file,
                     std::string* err);
