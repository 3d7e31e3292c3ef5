#include "platform/linux/code_signing/trust_anchors.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/linux/code_signing/pem_certificates.h"

namespace tarnel::linux_platform {

namespace {

constexpr std::size_t kMaxAnchorFiles = 1024;

struct CloseDirectory {
  void operator()(DIR* directory) const { ::closedir(directory); }
};

std::expected<std::vector<std::string>, std::string> anchorFiles(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::unexpected("cannot open the anchors folder " + folder);
  // fdopendir takes the descriptor over when it succeeds; when it fails the descriptor is ours.
  std::unique_ptr<DIR, CloseDirectory> directory(::fdopendir(fd));
  if (!directory) {
    ::close(fd);
    return std::unexpected("cannot read the anchors folder " + folder);
  }
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(directory.get())) {
    const std::string_view name = entry->d_name;
    if (name.starts_with('.') || !name.ends_with(".pem")) continue;
    if (names.size() == kMaxAnchorFiles) return std::unexpected("too many files in " + folder);
    names.emplace_back(name);
  }
  std::ranges::sort(names);
  return names;
}

}  // namespace

std::optional<AnchorsState> readAnchorsState(const std::string& folder) {
  // The folder's own state before its listing: a change while it is listed shows next time.
  const auto own = fileStateAt(folder);
  const auto names = anchorFiles(folder);
  if (!names || !own) return std::nullopt;
  AnchorsState state{.folder = *own, .files = {}};
  for (const auto& name : *names) {
    const auto file = fileStateAt(folder + "/" + name);
    if (!file) return std::nullopt;
    state.files.emplace_back(name, *file);
  }
  return state;
}

bool anchorsStillIn(const std::string& folder, const AnchorsState& state) {
  if (fileStateAt(folder) != state.folder) return false;
  return std::ranges::all_of(state.files, [&](const auto& file) {
    return fileStateAt(folder + "/" + file.first) == file.second;
  });
}

std::expected<X509StorePtr, std::string> loadTrustAnchors(const std::string& folder) {
  const auto names = anchorFiles(folder);
  if (!names) return std::unexpected(names.error());
  X509StorePtr store(X509_STORE_new());
  if (!store) return std::unexpected("out of memory");
  int anchors = 0;
  for (const auto& name : *names) {
    auto certificates = readCertificates(folder + "/" + name);
    if (!certificates) return std::unexpected(certificates.error());
    for (int i = 0; i < sk_X509_num(certificates->get()); ++i) {
      if (X509_STORE_add_cert(store.get(), sk_X509_value(certificates->get(), i)) != 1) {
        return std::unexpected("cannot add the anchor in " + name);
      }
      ++anchors;
    }
  }
  if (anchors == 0) return std::unexpected("no trust anchor in " + folder);
  return store;
}

}  // namespace tarnel::linux_platform
