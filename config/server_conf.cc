#include "driver/settings.h"

// Not written yet.
unsigned char CGeneral::ServerConf(unsigned char /*mail*/) { return 1; }
