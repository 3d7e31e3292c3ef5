#include "trust/is_symbolic_link.h"

namespace tarnel {

bool isSymbolicLink(Platform& platform, const std::string& path) {
  return platform.files.itemType(path) == ItemType::symbolicLink;
}

}  // namespace tarnel
