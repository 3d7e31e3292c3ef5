#include "model/action.h"

namespace tarnel {

std::optional<Action::Kind> kindFromRawValue(std::int64_t rawValue) {
  if (rawValue < 0 || rawValue > static_cast<std::int64_t>(Action::Kind::terminate)) {
    return std::nullopt;
  }
  return static_cast<Action::Kind>(rawValue);
}

std::int64_t rawValue(Action::Kind kind) { return static_cast<std::int64_t>(kind); }

}  // namespace tarnel
