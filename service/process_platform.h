// The platform of the running process, on which Controller::shared() is made. The daemon's entry
// point (service/main.cc) defines it: the one place where the real platform is wired. A test
// program defines its own.
#pragma once

#include "platform/platform.h"

namespace tarnel {

Platform& processPlatform();

}  // namespace tarnel
