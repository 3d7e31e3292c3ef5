// The whole fake platform: every service sharing one journal, handed to the code under test as
// a Platform.
#pragma once

#include "platform/platform.h"
#include "tests/support/fake_authorization.h"
#include "tests/support/fake_code_signing.h"
#include "tests/support/fake_files.h"
#include "tests/support/fake_processes.h"
#include "tests/support/fake_system.h"
#include "tests/support/fake_transport.h"
#include "tests/support/journal.h"

namespace tarnel::support {

class FakePlatform {
 public:
  Journal journal;
  FakeProcesses processes{journal};
  FakeFiles files{journal};
  FakeLog log{journal};
  FakeClock clock{journal};
  FakeProcessExit processExit{journal};
  FakeCodeSigning codeSigning{journal};
  FakeAuthorization authorization{journal};
  FakeTransport transport{journal};

  Platform platform() {
    return Platform{processes,   files,       log,           clock,
                    processExit, codeSigning, authorization, transport};
  }
};

}  // namespace tarnel::support
