#pragma once

class CGeneral;
class Console;

// Runs the installation stages in their fixed order, with a progress line
// before each and "Success" after it. On a failure prints the error lines,
// rolls back with the stop signals blocked from then on, and returns false. `xinetd_flag` tells
// which super-server now serves POP3 (1 xinetd, 0 inetd).
bool RunStages(CGeneral& settings, Console& console, unsigned char mail,
               unsigned char* xinetd_flag);
