#include "driver/settings.h"

// Not written yet.
unsigned char CGeneral::GCreateFolders(unsigned char /*mail*/) { return 1; }
