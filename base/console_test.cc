#include "base/console.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

constexpr char kPort[] = "Enter tcp port for Quorvane server (Default: ";

// A console over string streams: answers in, transcript out.
struct Dialogue {
  explicit Dialogue(const std::string& answers) : in(answers), console(in, out) {}
  std::istringstream in;
  std::ostringstream out;
  Console console;
};

std::string PortPrompt(const std::string& value) {
  return std::string("\n") + kPort + value + ")\nPress Enter for Default: ";
}

TEST(ConsoleTest, NumericAnswersConvertLikeStrtoul) {
  struct Case {
    const char* answer;
    uint32_t stored;
  };
  const Case kAccepted[] = {
      {"  80", 80},
      {"0", 0},
      {"-1", 4294967295u},
      {"+7", 7},
      {"4294967295", 4294967295u},
      {"4294967296", 4294967295u},
      {"99999999999999999999999", 4294967295u},
      {"-99999999999", 4294967295u},
      {"-4294967295", 1},
      {"007", 7},
      {"\t\v\f\r65535", 65535},
  };
  for (const Case& c : kAccepted) {
    uint32_t value = 12;
    EXPECT_TRUE(ParseNumericAnswer(c.answer, &value)) << c.answer;
    EXPECT_EQ(value, c.stored) << c.answer;
  }
  for (const char* refused : {"80 ", "   ", "0x10", "+", "-", "1e3", "8 0", "80\r", "abc", "--1"}) {
    uint32_t value = 12;
    EXPECT_FALSE(ParseNumericAnswer(refused, &value)) << refused;
    EXPECT_EQ(value, 12u) << refused;
  }
}

TEST(ConsoleTest, NumericPromptAsksAgainWithUnchangedDefault) {
  Dialogue d("80 \n   \n0x10\n  80\n");
  uint32_t port = 33333;
  ASSERT_TRUE(AskNumber(d.console, kPortKey, kPort, &port));
  EXPECT_EQ(port, 80u);
  std::string refused = PortPrompt("33333") + "\nIlleagle value.";
  EXPECT_EQ(d.out.str(), refused + refused + refused + PortPrompt("33333"));
}

TEST(ConsoleTest, EmptyAnswerKeepsDefaultSilently) {
  Dialogue d("\n\n");
  uint32_t port = 33333;
  TextField folder = "/usr/local/quorvane";
  ASSERT_TRUE(AskNumber(d.console, kPortKey, kPort, &port));
  ASSERT_TRUE(AskText(d.console, kFolderKey, "Folder (Default: ", folder));
  EXPECT_EQ(port, 33333u);
  EXPECT_STREQ(folder, "/usr/local/quorvane");
  EXPECT_EQ(d.out.str(), PortPrompt("33333") +
                             "\nFolder (Default: /usr/local/quorvane)\nPress Enter for Default: ");
}

TEST(ConsoleTest, OverlongNumericLineIsRefusedWhole) {
  Dialogue d(std::string(3000, '1') + "\n5\n");
  uint32_t port = 33333;
  ASSERT_TRUE(AskNumber(d.console, kPortKey, kPort, &port));
  EXPECT_EQ(port, 5u);  // the rest of the long line was not taken as the next answer
}

TEST(ConsoleTest, TextAnswersKeptAsTypedOrRefusedWhenTheyDoNotFit) {
  std::string longest(79, 'a');
  Dialogue d(std::string(80, 'b') + "\n" + "/opt/\"q\"\n" + std::string(2000, 'c') + "\n" +
             "/opt/q\x1bv\n" + std::string("/opt/q\0v\n", 9) + "/opt/q\rv\n" + " /opt/q v \n" +
             longest + "\n");
  TextField field = "/usr/local/quorvane";
  const std::string prompt = "\nFolder (Default: /usr/local/quorvane)\nPress Enter for Default: ";
  ASSERT_TRUE(AskText(d.console, kFolderKey, "Folder (Default: ", field));
  EXPECT_STREQ(field, " /opt/q v ");
  ASSERT_TRUE(AskText(d.console, kFolderKey, "Folder (Default: ", field));
  EXPECT_EQ(std::string(field), longest);
  EXPECT_EQ(d.out.str(), prompt + "\nIlleagle value (at most 79 characters are allowed)." + prompt +
                             "\nIlleagle value (double quotes are not allowed)." + prompt +
                             "\nIlleagle value (at most 79 characters are allowed)." + prompt +
                             "\nIlleagle value (control characters are not allowed)." + prompt +
                             "\nIlleagle value (control characters are not allowed)." + prompt +
                             "\nIlleagle value (control characters are not allowed)." + prompt +
                             "\nFolder (Default:  /opt/q v )\nPress Enter for Default: ");
}

TEST(ConsoleTest, TextRuleRefusesBeforeStoring) {
  Dialogue d("ns 1\nns1\n");
  TextField field = "@";
  auto no_spaces = [](std::string_view answer) -> const char* {
    return answer.find(' ') == std::string_view::npos ? nullptr : "No spaces.";
  };
  ASSERT_TRUE(AskText(d.console, kFolderKey, "NS (Default: ", field, no_spaces));
  EXPECT_STREQ(field, "ns1");
  EXPECT_EQ(d.out.str(),
            "\nNS (Default: @)\nPress Enter for Default: \nNo spaces."
            "\nNS (Default: @)\nPress Enter for Default: ");
}

TEST(ConsoleTest, EndOfInputEndsEveryShapeInsteadOfRepeating) {
  uint32_t number = 1;
  TextField text = "x";
  {
    Dialogue d("abc\n");  // one refused answer, then nothing more
    errno = 0;
    EXPECT_FALSE(AskNumber(d.console, kPortKey, kPort, &number));
    EXPECT_EQ(errno, ENODATA);
    EXPECT_EQ(number, 1u);
    EXPECT_EQ(d.out.str(), PortPrompt("1") + "\nIlleagle value." + PortPrompt("1") + "\n");
  }
  {
    Dialogue d("");
    EXPECT_FALSE(AskText(d.console, kFolderKey, "T (Default: ", text));
    EXPECT_STREQ(text, "x");
  }
  {
    Dialogue d("");
    EXPECT_EQ(AskYesNo(d.console, kMailKey, "Q? (Y/N): "), YesNo::kEndOfInput);
  }
  {
    Dialogue d("n\n");
    TextField path = "/nonexistent/qv-console-test";
    EXPECT_FALSE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  }
}

// A console answered from an answer file; its input stream holds answers
// that must never be read.
struct FileDialogue {
  explicit FileDialogue(const std::string& file_text) : in("never read\n"), console(in, out) {
    std::string err;
    EXPECT_TRUE(ParseAnswerFile(file_text, "answers", &answers, &err)) << err;
    console.AnswerFrom(&answers);
  }
  AnswerFile answers;
  std::istringstream in;
  std::ostringstream out;
  Console console;
};

TEST(ConsoleTest, AnswerFileAnswerIsEchoedAfterThePrompt) {
  FileDialogue d("port = 4000\n");
  uint32_t port = 33333;
  ASSERT_TRUE(AskNumber(d.console, kPortKey, kPort, &port));
  EXPECT_EQ(port, 4000u);
  EXPECT_EQ(d.out.str(), PortPrompt("33333") + "4000\n");
}

TEST(ConsoleTest, AnswerFileWithoutTheKeyTakesTheDefaultAsAnEmptyLine) {
  FileDialogue d("mail = n\n");
  uint32_t port = 33333;
  ASSERT_TRUE(AskNumber(d.console, kPortKey, kPort, &port));
  EXPECT_EQ(port, 33333u);
  EXPECT_EQ(d.out.str(), PortPrompt("33333") + "\n");
}

TEST(ConsoleTest, AnswerFileWithoutTheKeyOfAQuestionWithoutDefaultEndsTheAnswers) {
  FileDialogue d("port = 4000\n");
  EXPECT_EQ(AskYesNo(d.console, kMailKey, "Q? (Y/N): "), YesNo::kEndOfInput);
  errno = 0;
  ReportEndOfInput(d.console);
  EXPECT_EQ(errno, ENODATA);
  EXPECT_EQ(d.out.str(), "Q? (Y/N): \nThe answer file has no answer for mail.\n");
}

TEST(ConsoleTest, AnswerFileAnswerRefusedEndsTheAnswersWhenAskedAgain) {
  FileDialogue d("port = 70000\n");
  uint32_t port = 33333;
  errno = 0;
  EXPECT_FALSE(AskNumber(d.console, kPortKey, kPort, &port, 1, 65535));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(port, 33333u);
  EXPECT_EQ(d.out.str(), PortPrompt("33333") + "70000\n\nIlleagle value." + PortPrompt("33333") +
                             "\nThe answer file's answer for port was refused.\n");
}

TEST(ConsoleTest, NumberOutsideItsRangeIsRefusedAsIlleagle) {
  Dialogue d("0\n65536\n65535\n");
  uint32_t port = 33333;
  ASSERT_TRUE(AskNumber(d.console, kPortKey, kPort, &port, 1, 65535));
  EXPECT_EQ(port, 65535u);
  const std::string refused = PortPrompt("33333") + "\nIlleagle value.";
  EXPECT_EQ(d.out.str(), refused + refused + PortPrompt("33333"));
}

TEST(ConsoleTest, LastLineWithoutNewlineIsStillAnAnswer) {
  Dialogue d("42");
  uint32_t number = 1;
  ASSERT_TRUE(AskNumber(d.console, kPortKey, kPort, &number));
  EXPECT_EQ(number, 42u);
}

TEST(ConsoleTest, YesNoComparesTheWholeAnswerIgnoringCase) {
  struct Case {
    std::string answer;
    YesNo expected;
  };
  const Case kCases[] = {{"y\n", YesNo::kYes},
                         {"Y\n", YesNo::kYes},
                         {"n\n", YesNo::kNo},
                         {"N\n", YesNo::kNo},
                         {"yes\n", YesNo::kOther},
                         {" Y\n", YesNo::kOther},
                         {"Y \n", YesNo::kOther},
                         {"Y\r\n", YesNo::kOther},
                         {"\n", YesNo::kOther},
                         {std::string("n\0more\n", 7), YesNo::kOther},
                         {std::string("Y\0\n", 3), YesNo::kOther}};
  for (const Case& c : kCases) {
    Dialogue d(c.answer);
    EXPECT_EQ(AskYesNo(d.console, kMailKey, "Q? (Y/N): "), c.expected) << c.answer;
    EXPECT_EQ(d.out.str(), "Q? (Y/N): ");
  }
}

class ConfirmPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/qv-console-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
    readable_ = folder_ + "/named.conf";
    std::ofstream(readable_) << "options {};\n";
    missing_ = folder_ + "/missing.conf";
  }
  void TearDown() override {
    unlink(readable_.c_str());
    rmdir(folder_.c_str());
  }
  std::string folder_, readable_, missing_;
};

TEST_F(ConfirmPathTest, ReadableFilePrintsOnlyOk) {
  Dialogue d("");
  TextField path;
  StoreText(path, readable_);
  ASSERT_TRUE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(d.out.str(), "\tOK\n");
}

TEST_F(ConfirmPathTest, MissingFileAnsweredNThenGivenReadablePath) {
  Dialogue d("n\n" + readable_ + "\n");
  TextField path;
  StoreText(path, missing_);
  ASSERT_TRUE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(std::string(path), readable_);
  EXPECT_EQ(d.out.str(), missing_ + "\nRight? ( Y/N ): \nPath: \tOK\n");
}

TEST_F(ConfirmPathTest, MissingFileConfirmedWithYIsKept) {
  Dialogue d("y\n");
  TextField path;
  StoreText(path, missing_);
  ASSERT_TRUE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(std::string(path), missing_);
  EXPECT_EQ(d.out.str(), missing_ + "\nRight? ( Y/N ): ");
}

// An empty answer empties the field, but only a full path is ever kept.
TEST_F(ConfirmPathTest, EmptyPathAnswerEmptiesTheFieldButIsNeverKept) {
  Dialogue d("x\n\nY\n" + readable_ + "\n");
  TextField path;
  StoreText(path, missing_);
  ASSERT_TRUE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(std::string(path), readable_);
  EXPECT_EQ(d.out.str(), missing_ +
                             "\nRight? ( Y/N ): \nPath: \nRight? ( Y/N ): "
                             "\nIlleagle value (only full paths are allowed).\nPath: \tOK\n");
}

TEST_F(ConfirmPathTest, PathAnswerTooLongIsAskedAgain) {
  Dialogue d("n\n" + std::string(100, 'p') + "\n" + readable_ + "\n");
  TextField path;
  StoreText(path, missing_);
  ASSERT_TRUE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(d.out.str(), missing_ +
                             "\nRight? ( Y/N ): \nPath: \nIlleagle value (at most 79 characters "
                             "are allowed).\nPath: \tOK\n");
}

// The answer file names the file to use: the confirmation is answered as
// typed answers would answer it, so the transcript is the same.
TEST_F(ConfirmPathTest, AnswerFileGivesItsPathWhereTheFoundOneIsMissing) {
  FileDialogue d("named_conf = " + readable_ + "\n");
  TextField path;
  StoreText(path, missing_);
  ASSERT_TRUE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(std::string(path), readable_);
  EXPECT_EQ(d.out.str(), missing_ + "\nRight? ( Y/N ): n\n\nPath: " + readable_ + "\n\tOK\n");
}

TEST_F(ConfirmPathTest, AnswerFileConfirmsTheMissingPathItNames) {
  FileDialogue d("named_conf = " + missing_ + "\n");
  TextField path;
  StoreText(path, missing_);
  ASSERT_TRUE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(std::string(path), missing_);
  EXPECT_EQ(d.out.str(), missing_ + "\nRight? ( Y/N ): y\n");
}

TEST_F(ConfirmPathTest, AnswerFilePathIsCheckedInPlaceOfAnotherFoundFile) {
  const std::string other = folder_ + "/other.conf";
  std::ofstream(other) << "options {};\n";
  FileDialogue d("named_conf = " + other + "\n");
  TextField path;
  StoreText(path, readable_);
  ASSERT_TRUE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(std::string(path), other);
  EXPECT_EQ(d.out.str(), "\tOK\n");
  unlink(other.c_str());
}

TEST_F(ConfirmPathTest, AnswerFileWithoutThePathEndsTheAnswersWhereOneIsAsked) {
  FileDialogue d("port = 1\n");
  TextField path;
  StoreText(path, missing_);
  EXPECT_FALSE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(d.out.str(),
            missing_ + "\nRight? ( Y/N ): \nThe answer file has no answer for named_conf.\n");
}

TEST_F(ConfirmPathTest, AnswerFilePathRefusedIsNotAskedForAgain) {
  FileDialogue d("named_conf = " + folder_ + "\n");  // a folder, not a file
  TextField path;
  StoreText(path, missing_);
  EXPECT_FALSE(ConfirmPath(d.console, kNamedConfKey, path, "Right? ( Y/N ): ", "Path: "));
  EXPECT_EQ(d.out.str(), missing_ + "\nRight? ( Y/N ): n\n\nPath: " + folder_ + "\n" + folder_ +
                             "\nRight? ( Y/N ): y\n"
                             "\nIlleagle value (only regular files are allowed).\nPath: "
                             "\nThe answer file's answer for named_conf was refused.\n");
}

}  // namespace
