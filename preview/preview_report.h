#pragma once

// What the preview tells the administrator once the installer has run in
// the private view: every path created, changed or deleted, and how each
// edited text file would read.

#include <string>

#include "sandbox/sandbox.h"

// The change set as "+ ", "~ ", "- " lines, then a unified diff of every
// changed regular text file from the host's version to the one the run left.
std::string PreviewReport(const Sandbox& sandbox, const ChangeSet& changes);
