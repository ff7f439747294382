#pragma once

// Takes away the boot registration the installer made with the host's
// service manager (common/boot_registration).

#include <string>
#include <vector>

// Disables the service with the host's service manager and removes its init
// script or unit, when the file still holds the installer's text; a file
// changed since is left and described in `notes`. Nothing to do is success.
// False with `notes` on a failure.
bool UnregisterFromBoot(std::vector<std::string>* notes);
