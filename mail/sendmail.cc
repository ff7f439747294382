#include "driver/settings.h"

// Not written yet.
unsigned char CGeneral::CheckSendmail() { return 1; }
