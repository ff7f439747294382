#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "tools/base64.h"

namespace {

// The maker encodes in pieces of this many bytes, in lines of 54 bytes;
// the sizes below sit on both sides of a line's and a piece's end.
constexpr size_t kPieceBytes = 1 << 20;

class MakePayloadTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qv_make_payload_test.XXXXXX";
    ASSERT_TRUE(mkdtemp(name));
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << file.rdbuf();
    return buffer.str();
  }
  void Write(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  int Run(const std::string& arguments) {
    return system((std::string(QV_MAKE_PAYLOAD) + " " + arguments + " 2>/dev/null").c_str());
  }

  std::string dir_;
};

TEST_F(MakePayloadTest, EncodesKnownTextInLinesOf72) {
  const std::string line_of_a = [] {
    std::string text;
    for (int i = 0; i < 18; ++i) text += "YWFh";
    return text;
  }();
  struct Case {
    std::string bytes;
    std::string text;
  };
  for (const Case& known :
       {Case{"", ""}, Case{"f", "Zg=="}, Case{"fo", "Zm8="}, Case{"foobarbaz!", "Zm9vYmFyYmF6IQ=="},
        Case{std::string(54, 'a'), line_of_a}, Case{std::string(55, 'a'), line_of_a + "\nYQ=="},
        Case{std::string(110, 'a'), line_of_a + "\n" + line_of_a + "\nYWE="}}) {
    Write(dir_ + "/in", known.bytes);
    ASSERT_EQ(0, Run("encode " + dir_ + "/in " + dir_ + "/out")) << known.bytes.size();
    EXPECT_EQ(known.text, Read(dir_ + "/out")) << known.bytes.size();
  }
}

// Each text decodes back to its bytes, in full lines of 72 characters and
// no line feed after the last.
TEST_F(MakePayloadTest, RoundTripsAtEveryLineAndPieceEnd) {
  std::mt19937 random(7);
  for (size_t size : {size_t{1}, size_t{2}, size_t{53}, size_t{54}, size_t{55}, size_t{108},
                      kPieceBytes - 1, kPieceBytes, kPieceBytes + 1, 2 * kPieceBytes + 2}) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    Write(dir_ + "/in", bytes);
    ASSERT_EQ(0, Run("encode " + dir_ + "/in " + dir_ + "/out")) << size;
    const std::string text = Read(dir_ + "/out");
    const size_t characters = (size + 2) / 3 * 4;
    ASSERT_EQ(text.size(), characters + (characters - 1) / 72) << size;
    for (size_t at = 72; at < text.size(); at += 73) ASSERT_EQ(text[at], '\n') << size;
    std::string decoded, err;
    ASSERT_TRUE(DecodeBase64(text, &decoded, &err)) << err;
    EXPECT_TRUE(decoded == bytes) << size;
  }
}

TEST_F(MakePayloadTest, MissingMemberLeavesNoOutput) {
  Write(dir_ + "/present", "x");
  EXPECT_NE(0,
            Run("tar " + dir_ + "/out.tar " + dir_ + " qv/=0777 qv/present=0644 qv/absent=0644"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/out.tar"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/out.tar.tmp"));
}

}  // namespace
