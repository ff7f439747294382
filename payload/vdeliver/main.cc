// vdeliver USER DOMAIN [-f SENDER]: sendmail's mailer for the virtual
// domains. Appends the message on standard input to the user's mailbox,
// <kMailSpool>/<domain>/<user>, and answers with a sysexits code so
// that sendmail bounces what can never be delivered and queues the rest.
//
// Rules: root only reads the configuration and the user list, then gives
// way to the mail account for good; nothing is followed through a link;
// the mailbox is only written under both mbox locks; a delivery that fails
// part-way is cut back off, so the mailbox is exactly as it was.

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sysexits.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/layout.h"
#include "common/mail_account.h"
#include "common/write_all.h"
#include "payload/qvsml/give_up_root.h"
#include "payload/qvsml/mailbox_file.h"
#include "payload/qvsml/mbox_lock.h"
#include "payload/qvsml/safe_name.h"
#include "payload/qvsml/service_conf.h"
#include "payload/qvsml/user_list.h"
#include "payload/qvsml/virtual_domains.h"
#include "payload/vdeliver/mbox_writer.h"

namespace {

// How long a delivery waits for a mailbox another program holds; then
// sendmail keeps the message and tries again later.
constexpr int kLockWaitSeconds = 30;
// The envelope line sendmail puts before the message is never longer.
constexpr size_t kLongestEnvelopeLine = 1024;

volatile sig_atomic_t stop_signal = 0;

void NoteStopSignal(int signal) { stop_signal = signal; }

// Termination signals interrupt the reads and writes instead of killing
// the program, so that a cut delivery can still be taken back.
void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = NoteStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, nullptr);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

int Fail(int code, const std::string& message) {
  fprintf(stderr, "vdeliver: %s\n", message.c_str());
  return code;
}

struct Arguments {
  std::string user, domain, sender;
};

bool ParseArguments(int argc, char** argv, Arguments* args) {
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "-f" && i + 1 < argc) {
      args->sender = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return false;
    } else {
      names.push_back(arg);
    }
  }
  if (names.size() != 2) return false;
  args->user = LowerCase(names[0]);
  args->domain = LowerCase(names[1]);
  if (!args->domain.empty() && args->domain.back() == '.') args->domain.pop_back();
  return true;
}

// Reads standard input; 0 at its end, -1 on an error or a stop signal.
ssize_t ReadInput(char* buffer, size_t size) {
  for (;;) {
    if (stop_signal) {
      errno = EINTR;
      return -1;
    }
    ssize_t n = read(0, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

// Copies standard input into the mailbox. sendmail starts the message
// with its own "From sender date" line, which gives the envelope sender.
bool CopyMessage(int mailbox_fd, const std::string& sender_argument, std::string* err) {
  char buffer[64 * 1024];
  // The envelope line may come in more than one read from the pipe.
  size_t size = 0;
  ssize_t n = 1;
  while (size < kLongestEnvelopeLine && !memchr(buffer, '\n', size) &&
         (n = ReadInput(buffer + size, sizeof buffer - size)) > 0)
    size += static_cast<size_t>(n);
  size_t start = 0;
  std::string sender = sender_argument;
  if (n >= 0 && size >= 5 && memcmp(buffer, "From ", 5) == 0) {
    const char* end = static_cast<const char*>(memchr(buffer, '\n', size));
    if (end && static_cast<size_t>(end - buffer) < kLongestEnvelopeLine) {
      const std::string line(buffer + 5, static_cast<size_t>(end - buffer) - 5);
      if (sender.empty()) sender = line.substr(0, line.find(' '));
      start = static_cast<size_t>(end - buffer) + 1;
    }
  }
  MboxWriter writer(mailbox_fd, MboxFromLine(sender, time(nullptr)));
  while (n >= 0 && size > 0) {
    if (!writer.Write(buffer + start, size - start)) {
      *err = std::string("writing the mailbox: ") + strerror(errno);
      return false;
    }
    start = 0;
    n = ReadInput(buffer, sizeof buffer);
    size = n > 0 ? static_cast<size_t>(n) : 0;
  }
  if (n < 0) {
    *err = stop_signal ? "stopped by a signal"
                       : std::string("reading the message: ") + strerror(errno);
    return false;
  }
  if (!writer.Finish() || fsync(mailbox_fd) != 0) {
    *err = std::string("writing the mailbox: ") + strerror(errno);
    return false;
  }
  return true;
}

// A mailbox whose last message lacks its blank line gets one first, so
// that the new "From " line starts a message of its own.
bool SeparateFromLastMessage(int fd, off_t size) {
  if (size == 0) return true;
  char tail[2] = {'\n', '\n'};
  const off_t from = size >= 2 ? size - 2 : 0;
  if (pread(fd, tail + (size >= 2 ? 0 : 1), static_cast<size_t>(size - from), from) < 0)
    return false;
  const char* missing = tail[1] != '\n' ? "\n\n" : tail[0] != '\n' ? "\n" : "";
  const size_t length = strlen(missing);
  return WriteAll(fd, missing, length);
}

// Appends the message under the locks; the mailbox is cut back to its
// old size when anything goes wrong.
int Deliver(const Arguments& args) {
  std::string err;
  const int domain_fd = OpenDomainSpool(args.domain, true, &err);
  if (domain_fd < 0) return Fail(EX_TEMPFAIL, err);
  MboxLock lock;
  bool busy = false;
  const int fd = OpenLockedMailbox(domain_fd, args.user, kLockWaitSeconds, &lock, &busy, &err);
  // A link, a folder or another strange file at the mailbox's name is
  // refused for good; anything else may pass.
  const bool refused = !busy && (errno == ELOOP || errno == EPERM);
  if (fd < 0) return Fail(refused ? EX_CANTCREAT : EX_TEMPFAIL, err);
  struct stat st;
  if (fstat(fd, &st) != 0 || lseek(fd, st.st_size, SEEK_SET) < 0)
    return Fail(EX_TEMPFAIL, std::string("mailbox: ") + strerror(errno));
  if (!SeparateFromLastMessage(fd, st.st_size) || !CopyMessage(fd, args.sender, &err)) {
    if (err.empty()) err = std::string("writing the mailbox: ") + strerror(errno);
    if (ftruncate(fd, st.st_size) != 0 || fsync(fd) != 0)
      err += std::string("; cutting it back failed: ") + strerror(errno);
    return Fail(EX_TEMPFAIL, args.user + "@" + args.domain + ": " + err);
  }
  return EX_OK;
}

}  // namespace

int main(int argc, char** argv) {
  // Sendmail reads a wrong command line as EX_USAGE, as the mailer's kind has it.
  constexpr char kUsage[] =
      "usage: vdeliver USER DOMAIN [-f SENDER]\n"
      "       vdeliver --help | --version\n";
  if (argc == 2 && strcmp(argv[1], "--help") == 0) {
    fputs(kUsage, stdout);
    return EX_OK;
  }
  if (argc == 2 && strcmp(argv[1], "--version") == 0) {
    printf("vdeliver %s\n", QV_VERSION);
    return EX_OK;
  }
  CatchStopSignals();
  umask(077);
  Arguments args;
  if (!ParseArguments(argc, argv, &args)) {
    fputs(kUsage, stderr);
    return EX_USAGE;
  }
  if (!IsSafeName(args.domain)) return Fail(EX_NOHOST, "refused domain name: " + args.domain);
  if (!IsSafeName(args.user)) return Fail(EX_NOUSER, "refused user name: " + args.user);

  ServiceConf conf;
  std::string err;
  if (!ReadServiceConf(kConfFile, &conf, &err)) return Fail(EX_CONFIG, err);
  std::vector<std::string> domains;
  if (!ReadVirtualDomains(VirtualDomainsPath(conf.InsFolder), &domains, &err))
    return Fail(EX_CONFIG, err);
  if (!IsVirtualDomain(domains, args.domain))
    return Fail(EX_NOHOST, args.domain + ": not a virtual domain of this server");

  // A domain without a user list has no users yet; a list that cannot be
  // read keeps the mail queued until an administrator mends it.
  const std::string list = UserListPath(args.domain);
  struct stat st;
  std::vector<MailUser> users;
  if (lstat(list.c_str(), &st) != 0 && errno == ENOENT)
    users.clear();
  else if (!ReadUserList(list, &users, &err))
    return Fail(EX_TEMPFAIL, err);
  if (!FindUser(users, args.user))
    return Fail(EX_NOUSER, args.user + "@" + args.domain + ": no such user");
  // sendmail runs this mailer as root; the spool and the message are the
  // mail account's business alone.
  if (geteuid() == 0 && !BecomeAccount(kMailAccount, &err)) return Fail(EX_TEMPFAIL, err);
  return Deliver(args);
}
