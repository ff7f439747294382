#pragma once

#include <string>

#include "common/layout.h"

class CGeneral;

// The 14 lines of the configuration file for these settings.
std::string RenderConf(const CGeneral& settings);
