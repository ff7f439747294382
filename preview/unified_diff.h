#pragma once

// Unified diffs of text files, as `diff -u` prints them, for showing an
// administrator what an installation would do to a configuration file.

#include <string>

// Whether `content` reads as text: no NUL byte.
bool LooksLikeText(const std::string& content);

// The unified diff turning `before` into `after`, headed "--- before_label"
// and "+++ after_label", with three lines of context; "" when they are equal.
// A missing line end at the end of a file is marked as diff marks it.
std::string UnifiedDiff(const std::string& before, const std::string& after,
                        const std::string& before_label, const std::string& after_label);
