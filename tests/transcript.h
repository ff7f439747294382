#pragma once

// Builders for the console text the installer is expected to print. A line
// end is "\n"; prompts end without one; answers are not echoed, since the
// tests feed standard input through a pipe.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

// "\n" + question + value + ")\n" + "Press Enter for Default: ", the prompt of
// a question with a default; `question` ends in "(Default: ".
std::string DefaultPrompt(std::string_view question, std::string_view value);

// text + "\n".
std::string Line(std::string_view text);

// Success when both transcripts are equal; else a failure naming the first
// differing line of each (with line ends, tabs and control characters shown
// escaped) and a few lines of context before it.
::testing::AssertionResult SameTranscript(std::string_view expected, std::string_view actual);
