#include "platform/linux/posix/message_text.h"

namespace tarnel::linux_platform {

std::string filledIn(std::string_view text, std::initializer_list<Placeholder> placeholders) {
  std::string line;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '{' || at + 2 >= text.size() || text[at + 2] != '}') {
      line += text[at];
      continue;
    }
    for (const auto& placeholder : placeholders) {
      if (placeholder.letter == text[at + 1]) {
        line += placeholder.value;
        break;
      }
    }
    at += 2;
  }
  return line;
}

std::string join(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (const auto piece : pieces) text += piece;
  return text;
}

}  // namespace tarnel::linux_platform
