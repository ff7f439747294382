#pragma once

#include <string>

class CGeneral;

// The service's configuration file; while it exists the service counts as installed.
constexpr char kConfFile[] = "/etc/Quorvane.conf";

// The 14 lines of the configuration file for these settings.
std::string RenderConf(const CGeneral& settings);
