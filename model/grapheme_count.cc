#include "model/grapheme_count.h"

#include <utf8proc.h>

namespace tarnel {

std::size_t countGraphemeClusters(std::string_view utf8, std::size_t stopAt) {
  const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(utf8.data());
  auto remaining = static_cast<utf8proc_ssize_t>(utf8.size());
  std::size_t clusters = 0;
  utf8proc_int32_t previous = -1;
  // Carries what regional-indicator pairs and emoji zero-width-joiner sequences need across
  // code points.
  utf8proc_int32_t state = 0;
  while (remaining > 0 && clusters < stopAt) {
    utf8proc_int32_t codePoint = 0;
    const auto length = utf8proc_iterate(bytes, remaining, &codePoint);
    if (length <= 0) break;  // not reached for valid UTF-8, which is all a request can hold
    if (previous < 0 || utf8proc_grapheme_break_stateful(previous, codePoint, &state)) {
      ++clusters;
    }
    previous = codePoint;
    bytes += length;
    remaining -= length;
  }
  return clusters;
}

}  // namespace tarnel
