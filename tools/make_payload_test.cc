#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "tools/base64.h"

namespace {

// The maker encodes in pieces of this many lines of 54 bytes; the sizes
// below sit on both sides of a line's and a piece's end.
constexpr size_t kPieceBytes = 19418 * 54;

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

TEST_F(MakePayloadTest, EncodesLikeTheLibraryAtEveryLineAndPieceEnd) {
  std::mt19937 random(7);
  for (size_t size :
       {size_t{0}, size_t{1}, size_t{2}, size_t{53}, size_t{54}, size_t{55}, size_t{108},
        kPieceBytes - 1, kPieceBytes, kPieceBytes + 1, 2 * kPieceBytes + 2}) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    Write(dir_ + "/in", bytes);
    ASSERT_EQ(0, Run("encode " + dir_ + "/in " + dir_ + "/out")) << size;
    EXPECT_EQ(EncodeBase64(bytes, 72), Read(dir_ + "/out")) << size;
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
