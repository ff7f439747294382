#pragma once

#include <string>
#include <vector>

// Runs `argv` (an absolute program path first) with standard input from
// /dev/null, a fixed PATH and a minimal environment, and default signal
// dispositions; standard output and error go to `output`. False when it
// could not start.
bool RunCommand(const std::vector<std::string>& argv, std::string* output);
