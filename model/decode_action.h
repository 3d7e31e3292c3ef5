// Request decoding: from the request dictionary to an Action, or no record. Decoding reads the
// dictionary and does nothing else: no log line, no file access, no reply.
#pragma once

#include <cstddef>
#include <optional>

#include "model/action.h"
#include "model/value.h"

namespace tarnel {

// A save text must have fewer user-perceived characters than this.
inline constexpr std::size_t saveStringLimit = 64000;

std::optional<Action> decodeAction(const Dictionary& request);

// The payload decoders take the parameter dictionary; each yields none at the first key that is
// missing or not a string.
std::optional<Action::Save> decodeSave(const Dictionary& parameters);
std::optional<Action::Load> decodeLoad(const Dictionary& parameters);
std::optional<Action::Delete> decodeDelete(const Dictionary& parameters);
std::optional<Action::Test> decodeTest(const Dictionary& parameters);
std::optional<Action::Remove> decodeRemove(const Dictionary& parameters);

}  // namespace tarnel
