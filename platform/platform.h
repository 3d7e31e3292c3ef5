// Everything the helper asks of its operating system, one interface per platform service.
// service/ wires the real platform in exactly one place; tests hand in the fake one.
#pragma once

#include "platform/authorization.h"
#include "platform/clock.h"
#include "platform/code_signing.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/process_exit.h"
#include "platform/processes.h"
#include "platform/transport.h"

namespace tarnel {

struct Platform {
  Processes& processes;
  Files& files;
  Log& log;
  Clock& clock;
  ProcessExit& processExit;
  CodeSigning& codeSigning;
  Authorization& authorization;
  Transport& transport;
};

}  // namespace tarnel
