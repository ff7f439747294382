// Properties of the inetd.conf transformation: every line that is not a
// POP3 line comes out byte for byte in its place, every POP3 line becomes
// the wrapper's line, no line is added or lost, and a second run changes
// nothing.

#include "fuzz/fuzz_check.h"
#include "mailfiles/inetd_conf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  std::string ins_folder = ConsumeFieldText(provider);
  std::string content = provider.ConsumeRemainingBytesAsString();
  std::string conf = TransformInetdConf(content, ins_folder);

  const std::string pop3_line =
      "pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\t" + ins_folder + "/bin/vpop3d\tipop3d";
  FUZZ_CHECK(CountLines(conf) == CountLines(content));
  FUZZ_CHECK(conf.empty() || conf.back() == '\n');
  size_t in_at = 0, out_at = 0;
  while (in_at < content.size()) {
    size_t in_end = std::min(content.find('\n', in_at), content.size());
    size_t out_end = conf.find('\n', out_at);
    std::string_view line(content.data() + in_at, in_end - in_at);
    std::string_view written(conf.data() + out_at, out_end - out_at);
    bool pop3 = line.starts_with("pop-3") || line.starts_with("#pop-3");
    FUZZ_CHECK(written == (pop3 ? std::string_view(pop3_line) : line));
    in_at = in_end + 1;
    out_at = out_end + 1;
  }
  FUZZ_CHECK(TransformInetdConf(conf, ins_folder) == conf);
  return 0;
}
