#include "mail/inetd_conf.h"

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

}  // namespace
