#pragma once

// Registers the installed service with the host's service manager
// (common/boot_registration), so that it comes back after a reboot.

#include <string>

// Writes the init script or unit the host's service manager reads and
// enables it; nothing on the installer's own layout. False with `err`
// saying why when the file cannot be written or the service is not enabled
// afterwards.
bool RegisterForBoot(std::string* err);
