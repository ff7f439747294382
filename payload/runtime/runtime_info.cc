#include "payload/runtime/runtime_info.h"

extern "C" const char* QvPackageVersion() { return "0.1"; }
