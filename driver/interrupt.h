#pragma once

// Handler of SIGTERM, SIGHUP and SIGINT: removes the configuration file this
// run wrote and the working folder, then ends the process with status 0.
// It does not roll back; what the stages made stays.
void InsStop(int signal_number);

// Installs InsStop for SIGTERM, SIGHUP and SIGINT, in that order.
void InstallInterruptHandler();
