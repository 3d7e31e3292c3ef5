#include "platform/linux/code_signing/trust_anchors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/linux/code_signing/pem_certificates.h"
#include "platform/linux/posix/root_only.h"

namespace tarnel::linux_platform {

namespace {

constexpr std::size_t kMaxAnchorFiles = 1024;

using Error = CertificateError::Kind;

std::unexpected<CertificateError> error(Error kind, std::string subject,
                                        std::optional<RootOnlyError> refusal = {}) {
  return std::unexpected(CertificateError{kind, std::move(subject), std::move(refusal)});
}

struct CloseDirectory {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

std::expected<std::vector<std::string>, CertificateError> anchorFiles(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return error(Error::unopenableAnchorsFolder, folder);
  // fdopendir takes the descriptor over when it succeeds; when it fails the descriptor is ours.
  std::unique_ptr<DIR, CloseDirectory> directory(::fdopendir(fd));
  if (!directory) {
    ::close(fd);
    return error(Error::unreadableAnchorsFolder, folder);
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(directory.get())) {
    const std::string_view name = entry->d_name;
    if (name.starts_with('.') || !name.ends_with(".pem")) continue;
    if (names.size() == kMaxAnchorFiles) return error(Error::tooManyAnchorFiles, folder);
    names.emplace_back(name);
  }
  std::ranges::sort(names);
  return names;
}

// The status of the folder `folder` when only root can change what it holds, else why not.
std::expected<struct stat, CertificateError> checkedFolder(const std::string& folder) {
  auto status = statOnlyRootCanChange(folder);
  if (!status) return error(Error::anchorsRefused, folder, status.error());
  if (!S_ISDIR(status->st_mode)) return error(Error::anchorsFolderNotFolder, folder);
  return *status;
}

// The status of the anchor `name` in a folder that only root can change, when it is a file that
// only root can write, else why not. A link is refused: what it points to was never checked.
std::expected<struct stat, CertificateError> checkedAnchor(const std::string& folder,
                                                           const std::string& name) {
  const auto path = folder + "/" + name;
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return error(Error::unreadableAnchor, path);
  if (const auto safe = checkOnlyRootCanWrite(path, status); !safe) {
    return error(Error::anchorsRefused, folder, safe.error());
  }
  if (!S_ISREG(status.st_mode)) return error(Error::anchorNotFile, path);
  return status;
}

}  // namespace

std::optional<AnchorsState> readAnchorsState(const std::string& folder) {
  // The folder's own state before its listing: a change while it is listed shows next time.
  const auto own = checkedFolder(folder);
  const auto names = anchorFiles(folder);
  if (!names || !own) return std::nullopt;
  AnchorsState state{.folder = fileStateFrom(*own), .files = {}};
  for (const auto& name : *names) {
    const auto file = checkedAnchor(folder, name);
    if (!file) return std::nullopt;
    state.files.emplace_back(name, fileStateFrom(*file));
  }
  return state;
}

bool anchorsStillIn(const std::string& folder, const AnchorsState& state) {
  // The folders above are checked again rather than recorded: their times move whenever anything
  // beside the anchors changes (a file written in /etc), which would cost a full validation for
  // nothing. A change of owner or mode of the folder or an anchor moves its change time.
  const auto own = checkedFolder(folder);
  if (!own || fileStateFrom(*own) != state.folder) return false;
  return std::ranges::all_of(state.files, [&](const auto& file) {
    return fileStateAt(folder + "/" + file.first) == file.second;
  });
}

std::expected<X509StorePtr, CertificateError> loadTrustAnchors(const std::string& folder) {
  if (const auto own = checkedFolder(folder); !own) return std::unexpected(own.error());
  const auto names = anchorFiles(folder);
  if (!names) return std::unexpected(names.error());
  X509StorePtr store(X509_STORE_new());
  if (!store) return error(Error::outOfMemory, {});
  int anchors = 0;
  for (const auto& name : *names) {
    // Read by its path once checked: only root can put another file at that path since.
    if (const auto anchor = checkedAnchor(folder, name); !anchor) {
      return std::unexpected(anchor.error());
    }
    auto certificates = readCertificates(folder + "/" + name);
    if (!certificates) return std::unexpected(certificates.error());
    for (int i = 0; i < sk_X509_num(certificates->get()); ++i) {
      if (X509_STORE_add_cert(store.get(), sk_X509_value(certificates->get(), i)) != 1) {
        return error(Error::unaddableAnchor, name);
      }
      ++anchors;
    }
  }
  if (anchors == 0) return error(Error::noTrustAnchor, folder);
  return store;
}

}  // namespace tarnel::linux_platform
