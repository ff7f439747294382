#pragma once

// Test helpers for the dialogues: a console over string streams and a
// scratch folder under /tmp.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>

#include "base/console.h"

// A console over string streams: answers in, transcript out.
struct Dialogue {
  explicit Dialogue(const std::string& answers) : in(answers), console(in, out) {}
  std::istringstream in;
  std::ostringstream out;
  Console console;
};

// The BIND menu as the DNS stage prints it, and its name-server question.
inline constexpr char kMenu[] =
    "Which version of BIND you are using?\n"
    "1.\tBIND 8.*\n"
    "2.\tBIND 9.*\n"
    "Enter your choice (Default: 2)\n"
    "Press Enter for Default: ";
inline constexpr char kNameServer[] = "Enter default value for the Primary Name Server: (Default: ";

// "\n" + question + value + ")\n" + "Press Enter for Default: ".
inline std::string Prompt(std::string_view question, std::string_view value) {
  std::string prompt = "\n";
  prompt.append(question).append(value).append(")\nPress Enter for Default: ");
  return prompt;
}

// A fresh folder under /tmp, removed with everything in it afterwards.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/qv-config-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  std::string Path(std::string_view name) const { return folder_ + "/" + std::string(name); }

  std::string folder_;
};
