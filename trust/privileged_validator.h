// The authorization check of privileged requests: the request's authorization data must name an
// authorization that is granted the service's one right.
#pragma once

#include <expected>
#include <optional>

#include "model/right_name.h"
#include "model/value.h"
#include "platform/platform.h"

namespace tarnel {

class PrivilegedValidator {
 public:
  enum class ValidatorError { invalidAuthData };

  static constexpr const char* rightName = helperRightName;

  // Success when the authorization that `authData` externalizes is granted `rightName`;
  // ValidatorError::invalidAuthData in every other case.
  static std::expected<void, ValidatorError> validateAuthData(Platform& platform,
                                                              const std::optional<Bytes>& authData);
};

}  // namespace tarnel
