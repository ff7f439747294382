#include "mailfiles/inetd_conf.h"

#include <gtest/gtest.h>

namespace {

constexpr char kPop3Line[] =
    "pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\t/usr/local/quorvane/bin/vpop3d\tipop3d\n";

std::string Transform(std::string_view conf) {
  return TransformInetdConf(conf, "/usr/local/quorvane");
}

TEST(InetdConfTest, CommentedPop3LineBecomesTheActiveLine) {
  EXPECT_EQ(Transform("ftp\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tin.ftpd\n"
                      "#pop-3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tipop3d\n"
                      "imap\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\timapd\n"),
            std::string("ftp\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tin.ftpd\n") + kPop3Line +
                "imap\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\timapd\n");
}

TEST(InetdConfTest, EveryPop3LineIsReplaced) {
  EXPECT_EQ(Transform("pop-3 stream tcp nowait root /usr/sbin/tcpd ipop3d\n#pop-3 old\n"),
            std::string(kPop3Line) + kPop3Line);
}

TEST(InetdConfTest, OnlyLinesStartingWithTheServiceNameAreRecognised) {
  const std::string kept =
      " pop-3 stream tcp\n"
      "\tpop-3 stream tcp\n"
      "# pop-3 stream tcp\n"
      "pop3 stream tcp\n"
      "##pop-3\n"
      "POP-3 stream tcp\n";
  EXPECT_EQ(Transform(kept), kept);
}

TEST(InetdConfTest, NoPop3LineKeepsTheFileAndAddsNothing) {
  const std::string conf = "# inetd.conf\n\nftp stream tcp nowait root /usr/sbin/tcpd in.ftpd\n";
  EXPECT_EQ(Transform(conf), conf);
}

TEST(InetdConfTest, LastLineGetsItsLineFeed) {
  EXPECT_EQ(Transform("# end"), "# end\n");
  EXPECT_EQ(Transform("#pop-3"), kPop3Line);
}

TEST(InetdConfTest, LongLinesAreCarriedWhole) {
  const std::string long_comment = "#" + std::string(5000, 'x');
  EXPECT_EQ(Transform(long_comment + "\n#pop-3\n"), long_comment + "\n" + kPop3Line);
}

TEST(InetdConfTest, RewritingTwiceGivesTheSameFile) {
  const std::string once = Transform("#pop-3 x\nftp y\n");
  EXPECT_EQ(Transform(once), once);
}

// Registering appends the wrapper's line only where no line names the
// service yet; an active "pop3" line is another server's and stays alone.
TEST(InetdConfTest, RegistrationAppendsTheLineOnlyWhereThePop3ServiceHasNone) {
  const std::string ftp = "ftp\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tin.ftpd\n";
  const struct {
    std::string conf, registered;
  } cases[] = {
      {"", kPop3Line},
      {ftp, ftp + kPop3Line},
      {"# the end", std::string("# the end\n") + kPop3Line},
      {"#pop3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tipop3d\n",
       std::string("#pop3\tstream\ttcp\tnowait\troot\t/usr/sbin/tcpd\tipop3d\n") + kPop3Line},
      {"#pop-3 old\n" + ftp, kPop3Line + ftp},
      {ftp + "pop-3 stream tcp nowait root /usr/sbin/tcpd ipop3d\n", ftp + kPop3Line},
      {"pop3\tstream\ttcp\tnowait\troot\t/usr/sbin/in.pop3d\n",
       "pop3\tstream\ttcp\tnowait\troot\t/usr/sbin/in.pop3d\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RegisterPop3InInetdConf(c.conf, "/usr/local/quorvane"), c.registered) << c.conf;
    EXPECT_EQ(RegisterPop3InInetdConf(c.registered, "/usr/local/quorvane"), c.registered)
        << "again: " << c.conf;
  }
}

}  // namespace
