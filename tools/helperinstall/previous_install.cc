#include "tools/helperinstall/previous_install.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

namespace tarnel::helperinstall {

namespace {

std::unexpected<HelperinstallError> failed(HelperinstallError::Kind kind, const std::string& path,
                                           int error = errno) {
  return std::unexpected(HelperinstallError{.kind = kind, .subject = path, .systemError = error});
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// A second link to `path` under a new hidden name in its folder. mkostemp picks a name nobody
// holds; the link takes that name once the placeholder is gone, in a folder only root changes.
std::expected<std::string, HelperinstallError> linkAside(const std::string& path) {
  std::string name = folderOf(path) + "/.helperinstall-previous.XXXXXX";
  const int placeholder = ::mkostemp(name.data(), O_CLOEXEC);
  if (placeholder < 0) return failed(HelperinstallError::Kind::cannotKeep, path);
  ::close(placeholder);
  if (::unlink(name.c_str()) != 0 || ::link(path.c_str(), name.c_str()) != 0) {
    const auto reason = failed(HelperinstallError::Kind::cannotKeep, path);
    ::unlink(name.c_str());
    return reason;
  }
  return name;
}

}  // namespace

std::expected<PreviousInstall, HelperinstallError> PreviousInstall::keep(
    const std::vector<std::string>& paths) {
  PreviousInstall previous({});
  for (const auto& path : paths) {
    if (::access(path.c_str(), F_OK) != 0) {
      if (errno != ENOENT) return failed(HelperinstallError::Kind::cannotUse, path);
      previous.kept_.push_back({.path = path, .keptAt = {}});
      continue;
    }
    auto keptAt = linkAside(path);
    if (!keptAt) return std::unexpected(keptAt.error());
    previous.kept_.push_back({.path = path, .keptAt = std::move(*keptAt)});
  }
  return previous;
}

PreviousInstall::PreviousInstall(PreviousInstall&& other) noexcept : kept_(std::move(other.kept_)) {
  other.kept_.clear();
}

PreviousInstall::~PreviousInstall() {
  for (const auto& kept : kept_) {
    if (!kept.keptAt.empty()) ::unlink(kept.keptAt.c_str());
  }
}

bool PreviousInstall::found() const {
  for (const auto& kept : kept_) {
    if (!kept.keptAt.empty()) return true;
  }
  return false;
}

std::expected<void, HelperinstallError> PreviousInstall::restore() {
  std::expected<void, HelperinstallError> outcome;
  for (auto& kept : kept_) {
    const bool done = kept.keptAt.empty() ? ::unlink(kept.path.c_str()) == 0 || errno == ENOENT
                                          : ::rename(kept.keptAt.c_str(), kept.path.c_str()) == 0;
    if (!done && outcome) outcome = failed(HelperinstallError::Kind::cannotUse, kept.path);
    if (done) kept.keptAt.clear();  // back in place: no longer a link to remove
  }
  return outcome;
}

}  // namespace tarnel::helperinstall
