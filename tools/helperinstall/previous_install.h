// The helper and job definition installed before, kept aside while a new install puts its own in
// their place, so that a failed install can put them back: an install is all or nothing.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "tools/helperinstall/helperinstall_error.h"

namespace tarnel::helperinstall {

class PreviousInstall {
 public:
  // Keeps whichever of the files at `paths` exist, each as a second link under a hidden name in
  // its own folder (a system folder only root may change), so that the file stays at its name
  // until the new one replaces it. Why not when one could not be kept.
  static std::expected<PreviousInstall, HelperinstallError> keep(
      const std::vector<std::string>& paths);

  PreviousInstall(PreviousInstall&& other) noexcept;
  PreviousInstall& operator=(PreviousInstall&&) = delete;
  // The kept links are removed: the files they kept are either back in place or replaced for good.
  ~PreviousInstall();

  // Whether anything was installed at the paths.
  bool found() const;

  // Puts each kept file back at its name, over what the new install put there, and removes what
  // the new install put at a name that held nothing before. The first reason when one could
  // not be.
  std::expected<void, HelperinstallError> restore();

 private:
  struct Kept {
    std::string path;
    std::string keptAt;  // empty: nothing was at `path`
  };
  explicit PreviousInstall(std::vector<Kept> kept) : kept_(std::move(kept)) {}

  std::vector<Kept> kept_;
};

}  // namespace tarnel::helperinstall
