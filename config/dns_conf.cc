#include "driver/settings.h"

// Not written yet.
unsigned char CGeneral::CheckDNS() { return 1; }
