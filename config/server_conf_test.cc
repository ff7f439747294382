#include <errno.h>
#include <sys/stat.h>

#include "base/settings.h"
#include "config/test_dialogue.h"

namespace {

constexpr char kPort[] = "Enter tcp port for Quorvane server (Default: ";
constexpr char kDisconnect[] =
    "Enter Auto disconnect time (in seconds) for Quorvane server (Default: ";
constexpr char kInstallation[] = "Enter installation folder for Quorvane server (Default: ";

using ServerConfTest = TempFolderTest;

// Without the mail part only the three questions are asked.
TEST_F(ServerConfTest, WithoutMailPartAsksThreeQuestionsAndCreatesTheFolder) {
  const std::string qv = Path("qv");
  Dialogue d("80 \n  80\n\n" + qv + "\n");
  CGeneral settings(d.console);
  ASSERT_EQ(settings.ServerConf(0), 0);
  EXPECT_EQ(d.out.str(), Prompt(kPort, "33333") + "\nIlleagle value." + Prompt(kPort, "33333") +
                             Prompt(kDisconnect, "30") +
                             Prompt(kInstallation, "/usr/local/quorvane"));
  EXPECT_EQ(settings.Port, 80u);
  EXPECT_EQ(settings.AutoDisconnectTime, 30u);
  EXPECT_EQ(std::string(settings.InsFolder), qv);
  EXPECT_STREQ(settings.RFolder, "/var/quorvane");
  EXPECT_TRUE(std::filesystem::is_directory(qv));
}

// A port the service could never listen on is refused like a word.
TEST_F(ServerConfTest, PortOutsideTcpRangeIsAskedAgain) {
  struct Case {
    const char* answer;
    bool accepted;
  };
  const Case kCases[] = {
      {"0", false},     {"1", true},   {"65535", true},        {"65536", false},
      {"70000", false}, {"-1", false}, {"99999999999", false}, {"-65535", false},
  };
  for (const Case& c : kCases) {
    Dialogue d(std::string(c.answer) + "\n" + (c.accepted ? "" : "\n") + "\n" + Path("qv") + "\n");
    CGeneral settings(d.console);
    ASSERT_EQ(settings.ServerConf(0), 0) << c.answer;
    const std::string port = Prompt(kPort, "33333");
    EXPECT_EQ(d.out.str(), (c.accepted ? port : port + "\nIlleagle value." + port) +
                               Prompt(kDisconnect, "30") +
                               Prompt(kInstallation, "/usr/local/quorvane"))
        << c.answer;
    EXPECT_EQ(settings.Port, c.accepted ? std::stoul(c.answer) : 33333u) << c.answer;
    rmdir(Path("qv").c_str());
  }
}

TEST_F(ServerConfTest, DisconnectTimeConvertsWithoutRangeCheck) {
  Dialogue d("\n-1\n" + Path("qv") + "\n");
  CGeneral settings(d.console);
  ASSERT_EQ(settings.ServerConf(0), 0);
  EXPECT_EQ(settings.AutoDisconnectTime, 4294967295u);
}

TEST_F(ServerConfTest, EndOfInputFailsWithEnodata) {
  const std::string qv = Path("qv");
  ASSERT_EQ(mkdir(qv.c_str(), 0700), 0);
  // Inside the port, disconnect time, folder and overwrite questions.
  for (const std::string& answers :
       {std::string(""), std::string("\n"), std::string("\n\n"), "\n\n" + qv + "\n"}) {
    Dialogue d(answers);
    CGeneral settings(d.console);
    errno = 0;
    EXPECT_EQ(settings.ServerConf(0), 1) << answers;
    EXPECT_EQ(errno, ENODATA) << answers;
    EXPECT_TRUE(d.out.str().ends_with(": \n")) << d.out.str();
  }
}

}  // namespace
