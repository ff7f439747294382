#include "tests/transcript.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr size_t kContextLines = 3;

// Lines with their line ends kept, so a missing "\n" shows as a difference.
std::vector<std::string_view> SplitKeepingEnds(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string Shown(std::string_view line) {
  std::string shown = "\"";
  for (char c : line) {
    switch (c) {
      case '\n':
        shown += "\\n";
        break;
      case '\t':
        shown += "\\t";
        break;
      case '\r':
        shown += "\\r";
        break;
      case '"':
        shown += "\\\"";
        break;
      case '\\':
        shown += "\\\\";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          char hex[8];
          snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
          shown += hex;
        } else {
          shown += c;
        }
    }
  }
  return shown + "\"";
}

}  // namespace

std::string DefaultPrompt(std::string_view question, std::string_view value) {
  std::string prompt = "\n";
  prompt += question;
  prompt += value;
  prompt += ")\nPress Enter for Default: ";
  return prompt;
}

std::string Line(std::string_view text) {
  std::string line(text);
  return line + "\n";
}

::testing::AssertionResult SameTranscript(std::string_view expected, std::string_view actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  std::vector<std::string_view> want = SplitKeepingEnds(expected);
  std::vector<std::string_view> got = SplitKeepingEnds(actual);
  size_t first = 0;
  while (first < want.size() && first < got.size() && want[first] == got[first]) ++first;
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "transcripts differ at line " << first + 1 << " (expected " << want.size()
          << " lines, got " << got.size() << ")\n";
  for (size_t i = first - std::min(first, kContextLines); i < first; ++i) {
    failure << "    same:     " << Shown(want[i]) << "\n";
  }
  failure << "    expected: " << (first < want.size() ? Shown(want[first]) : "<end of text>")
          << "\n";
  failure << "    actual:   " << (first < got.size() ? Shown(got[first]) : "<end of text>") << "\n";
  return failure;
}

std::string Opening() {
  return Line("Extracting the package...") + Line(kMailQuestion) +
         Line("Getting Quorvane server configuration...");
}

std::string DefaultNumbers() {
  return DefaultPrompt(kPortQuestion, "33333") + DefaultPrompt(kDisconnectQuestion, "30");
}

std::string ServerQuestions(bool takeover) {
  return DefaultNumbers() + DefaultPrompt(kInstallationQuestion, kDefaultInstallationFolder) +
         (takeover ? kTakeoverQuestion : "");
}

std::string ServerDialogue(MailPart mail, bool takeover) {
  std::string text = ServerQuestions(takeover);
  if (mail == MailPart::kCreatingGroup)
    text += "Checking popusers group..." + std::string(kPopusersQuestion) + Line("OK");
  if (mail == MailPart::kGroupPresent) text += Line("Checking popusers group...OK");
  if (mail != MailPart::kNone) text += DefaultPrompt(kRootQuestion, kDefaultRootFolder);
  return text + Line("Success");
}

std::string BindMenu() {
  return Line("Which version of BIND you are using?") + Line("1.\tBIND 8.*") +
         Line("2.\tBIND 9.*") + Line("Enter your choice (Default: 2)") +
         "Press Enter for Default: ";
}

std::string DnsOpening() {
  return Line("Getting DNS configuration...") + BindMenu() + Line("\tOK") + Line("") +
         Line("Checking DNS configurationg file...\tOK") +
         Line("cp /etc/named.conf /etc/named.conf.qvbackup") +
         Line("Checking DNS process id file...\t\tOK");
}

std::string ZoneDefaults() {
  return DefaultPrompt("Enter default value of Refresh time for DNS: (Default: ", "28800") +
         DefaultPrompt("Enter default value of Retry time for DNS: (Default: ", "7200") +
         DefaultPrompt("Enter default value of Expire time for DNS: (Default: ", "604800") +
         DefaultPrompt("Enter default value of ttl for DNS: (Default: ", "86400");
}

std::string DnsDialogue() {
  return DnsOpening() + DefaultPrompt(kNameServerQuestion, "@") + ZoneDefaults() + Line("Success");
}

std::string SendmailChecks() {
  return Line("Checking mail group...\tOK") + Line("Checking sendmail configurationg file...\tOK") +
         Line("Checking sendmail process id file...\t\tOK");
}

std::string MailStages() {
  return Line("Updating sendmail...") + SendmailChecks() + Line("Success") +
         Line("Updating pop3 server...") + Line("Success");
}

std::string UpToSendmail(MailPart mail) {
  return Opening() + ServerDialogue(mail) + DnsDialogue() + Line("Updating sendmail...");
}

std::string UpToFolders(MailPart mail, bool takeover) {
  return Opening() + ServerDialogue(mail, takeover) + DnsDialogue() +
         (mail == MailPart::kNone ? "" : MailStages()) + Line("Creating required folders...");
}

std::string UpToCopies(MailPart mail, bool takeover) {
  return UpToFolders(mail, takeover) + kAddressPrompt + Line("Success") + Line("Copying files...");
}

std::string StartAndUsage(bool started) {
  return kStartQuestion + (started ? Line("Quorvane server started on port 33333") : "") +
         Line("") + Line("Use command 'quorvane {start|stop|restart}'") +
         Line("to start, stop or restart Quorvane server.");
}

std::string RunEnding(bool started, std::string_view super_server) {
  std::string text = Line("Creating required folders...") + kAddressPrompt + Line("Success") +
                     Line("Copying files...") + Line("Success") +
                     Line("Creating configuration file...") + Line("Success");
  if (!super_server.empty()) {
    text += Line("Restarting sendmail and pop server") + Line("Please wait...") +
            Line("sendmail restart: done") + Line(std::string(super_server) + " restart: done");
  }
  return text + StartAndUsage(started);
}

std::string LinkInTheWay(std::string_view name, std::string_view path) {
  return Line("Can't create symbolic link for " + std::string(name)) +
         Line(std::string(path) + " already exist") + kLinkQuestion;
}

std::string Abort(std::string_view error_line, std::string_view error_text) {
  return Line(error_line) + (error_text.empty() ? "" : Line(error_text)) +
         Line("Installation aborted");
}
