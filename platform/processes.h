// Running programs: the stand-in for NSTask and NSPipe.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/value.h"

namespace tarnel {

// The reading end of the one pipe that a capturing run joins standard output and error into.
class OutputPipe {
 public:
  virtual ~OutputPipe() = default;
  // Up to `maximum` (at least 1) bytes, blocking until some arrive; empty at end of file, when
  // every process holding the writing end has closed it, and after a failed read.
  virtual Bytes read(std::size_t maximum) = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;

  // Starts `program` with `arguments` (argv[0] is the program itself), inheriting environment,
  // working directory and standard streams, and waits until it exits. Its termination status (0 is
  // success; a signal's number when a signal ended it), or nothing when it could not be started
  // (also for an argument holding a NUL byte, which no program can be given unchanged).
  virtual std::optional<int> run(const std::string& program,
                                 const std::vector<std::string>& arguments) = 0;

  // Starts `program` as run() does but with standard output and standard error joined into one
  // pipe, and hands back that pipe's reading end; nullptr when it could not be started. The
  // child is reaped whether or not anybody waits for its exit.
  virtual std::unique_ptr<OutputPipe> runCapturing(const std::string& program,
                                                   const std::vector<std::string>& arguments) = 0;
};

}  // namespace tarnel
