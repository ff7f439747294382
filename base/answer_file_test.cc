#include "base/answer_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AnswerFileTest, TakesKeyValueLinesAndSkipsCommentsAndBlankLines) {
  AnswerFile file;
  std::string err;
  ASSERT_TRUE(
      ParseAnswerFile("# a host without the mail part\n"
                      "\n"
                      "mail = n\n"
                      "  port=4000  \n"
                      "\tfolder =\t/opt/quorvane\r\n"
                      "ns1 = ns1.example.test.=x\n"
                      "   # indented comment = not an answer\n"
                      "start =\n"
                      "windows_address = 192.168.1.20",
                      "answers.conf", &file, &err))
      << err;
  const std::map<std::string, std::string, std::less<>> expected = {
      {"mail", "n"},
      {"port", "4000"},
      {"folder", "/opt/quorvane"},
      {"ns1", "ns1.example.test.=x"},
      {"start", ""},
      {"windows_address", "192.168.1.20"},
  };
  EXPECT_EQ(file.answers, expected);
  EXPECT_EQ(file.name, "answers.conf");
}

TEST(AnswerFileTest, RefusesTheFileNamingTheLine) {
  struct Case {
    std::string text;
    const char* err;
  };
  const Case kCases[] = {
      {"mail = n\nprot = 80\n", "a.conf:2: unknown key prot"},
      {"mail = n\nPort = 80\n", "a.conf:2: unknown key Port"},
      {"\n\nmail\n", "a.conf:3: not a line of the form key = value"},
      {"= n\n", "a.conf:1: not a line of the form key = value"},
      {"mail = n\nport = 1\nport = 2\n", "a.conf:3: port is given twice"},
      {"folder = /opt/q\x1bv\n", "a.conf:1: control characters are not allowed"},
      {std::string("ns1 = a\0b\n", 10), "a.conf:1: control characters are not allowed"},
      {"folder = /" + std::string(1022, 'a') + "\n", "a.conf:1: the answer for folder is too long"},
  };
  for (const Case& c : kCases) {
    AnswerFile file;
    std::string err;
    EXPECT_FALSE(ParseAnswerFile(c.text, "a.conf", &file, &err)) << c.text;
    EXPECT_EQ(err, c.err) << c.text;
  }
}

TEST(AnswerFileTest, AnswerOfTheLongestLineFits) {
  AnswerFile file;
  std::string err;
  EXPECT_TRUE(ParseAnswerFile("folder = /" + std::string(1021, 'a'), "a.conf", &file, &err)) << err;
}

}  // namespace
