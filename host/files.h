#pragma once

#include <string>

// True when the path opens for reading (it is opened and closed at once).
bool CanOpenForReading(const char* path);

// True when something (even a dangling link) exists at the path.
bool PathExists(const char* path);
