#pragma once

#include <cstddef>

// The package as Base64 text in 72-character lines, without a final line
// feed, followed by a NUL. Generated at build time from this folder.
extern "C" const char kPayloadText[];
// Its length in characters, without the NUL.
extern "C" const size_t kPayloadTextSize;
