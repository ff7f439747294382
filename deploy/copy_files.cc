#include "driver/settings.h"

// Not written yet.
unsigned char CGeneral::CopyFiles(unsigned char /*mail*/) { return 1; }
