#pragma once

#include <string_view>
#include <vector>

// The lines of a text, without their line feeds, of any length. A last line
// without a line feed counts as a line; nothing follows a final line feed.
std::vector<std::string_view> SplitLines(std::string_view content);
