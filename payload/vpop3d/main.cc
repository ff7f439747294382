#include <sysexits.h>

int main() { return EX_TEMPFAIL; }
