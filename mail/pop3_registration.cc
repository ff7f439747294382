#include "driver/settings.h"

// Not written yet.
unsigned char CGeneral::Updatexinetd() { return 1; }
unsigned char CGeneral::Updateinetd() { return 1; }
