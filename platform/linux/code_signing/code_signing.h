// The code-signing service of the Linux platform: requirements compiled from the code
// requirement language, running code found by process (this one, or a peer by audit token), and
// the validity of its ELF executable's appended signature against the trust anchors of one
// folder.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/code_signing.h"
#include "platform/linux/code_signing/peer_process.h"
#include "platform/log.h"
#include "platform/linux/code_signing/own_code_verdict.h"
#include "platform/linux/code_signing/trust_anchors.h"
#include "platform/linux/posix/unique_fd.h"

namespace tarnel::linux_platform {

class LinuxCodeSigning : public CodeSigning {
 public:
  // `anchorsFolder` holds the trust anchors as PEM files; the platform's is kDefaultAnchorsFolder.
  // Opens this process's own executable now, once, before the process serves. Peers are sealed
  // clients of `clientGroup`. Every peer refused, and this process's own code when it is refused,
  // and why, go to `log` when one is given.
  explicit LinuxCodeSigning(std::string anchorsFolder = kDefaultAnchorsFolder,
                            std::string clientGroup = kClientGroup, Log* log = nullptr);

  OSStatus createRequirement(std::string_view text, SecCSFlags flags,
                             std::unique_ptr<SecRequirement>& requirement) override;
  OSStatus copySelf(SecCSFlags flags, std::unique_ptr<SecCode>& code) override;
  OSStatus copyGuestWithAttributes(const Dictionary& attributes, SecCSFlags flags,
                                   std::unique_ptr<SecCode>& guest) override;
  OSStatus copyStaticCode(const SecCode& code, SecCSFlags flags,
                          std::unique_ptr<SecStaticCode>& staticCode) override;
  // This process's own code is judged by the verdict kept on it while nothing it rests on has
  // changed (OwnCodeVerdict); any other code is validated in full every time.
  OSStatus checkValidity(const SecStaticCode& staticCode, SecCSFlags flags,
                         const SecRequirement& requirement) override;

 private:
  // Logs why process `pid` is refused, and passes its status on.
  OSStatus refuse(std::uint32_t pid, const SigningFailure& failure);
  // Logs why this process's own code is refused (every connection and request is then refused
  // with it), and passes its status on.
  OSStatus refuseOwnCode(const SigningFailure& failure);

  std::string anchorsFolder_;
  std::string clientGroup_;
  Log* log_;
  std::mutex selfMutex_;
  std::shared_ptr<const UniqueFd> self_;
  OwnCodeVerdict ownCode_;
};

}  // namespace tarnel::linux_platform
