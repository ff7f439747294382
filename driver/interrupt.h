#pragma once

// Handler of SIGTERM, SIGHUP and SIGINT: stops the command that is running,
// removes the configuration file this run wrote, the working folder and the
// installation lock, then ends the process with status 0. It does not roll
// back; what the stages made stays.
void InsStop(int signal_number);

// Installs InsStop for SIGTERM, SIGHUP and SIGINT, in that order, each
// blocking the others while it runs; they stay installed until the end.
// SIGPIPE is ignored: a console whose reader went away fails its writes,
// and the dialogue takes that as the end of its input.
void InstallInterruptHandler();
