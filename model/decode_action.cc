#include "model/decode_action.h"

#include "model/request_values.h"
#include "text/grapheme_count.h"

namespace tarnel {

namespace {

const std::string* stringAt(const Dictionary& parameters, std::string_view key) {
  return acceptString(parameters.find(key));
}

}  // namespace

std::optional<Action> decodeAction(const Dictionary& request) {
  if (request.empty()) return std::nullopt;
  // Only the first entry is ever looked at; a well-formed request holds exactly one.
  const auto& first = request.entries().front();
  const auto raw = acceptInteger(&first.key);
  if (!raw) return std::nullopt;
  const auto kind = kindFromRawValue(*raw);
  if (!kind) return std::nullopt;
  const auto* parameters = acceptDictionary(&first.value);
  if (parameters == nullptr) return std::nullopt;
  Action action(*kind);

  const auto privileged = acceptBoolean(parameters->find("privileged"));
  if (!privileged) return std::nullopt;
  const auto presentError = acceptBoolean(parameters->find("presentError"));
  if (!presentError) return std::nullopt;
  action.privileged = *privileged;
  action.presentError = *presentError;

  if (const auto* authData = acceptData(parameters->find("authData"))) action.authData = *authData;

  switch (action.kind) {
    case Action::Kind::save:
    case Action::Kind::saveLoad:
      action.save = decodeSave(*parameters);
      break;
    case Action::Kind::delete_:
      action.delete_ = decodeDelete(*parameters);
      break;
    case Action::Kind::load:
      action.load = decodeLoad(*parameters);
      break;
    case Action::Kind::remove:
      action.remove = decodeRemove(*parameters);
      break;
    case Action::Kind::test:
      action.test = decodeTest(*parameters);
      break;
    case Action::Kind::uninstall:
    case Action::Kind::terminate:
      break;
  }
  return action;
}

std::optional<Action::Save> decodeSave(const Dictionary& parameters) {
  const auto* path = stringAt(parameters, "path");
  if (path == nullptr) return std::nullopt;
  const auto* string = stringAt(parameters, "string");
  if (string == nullptr) return std::nullopt;
  const auto* label = stringAt(parameters, "label");
  if (label == nullptr) return std::nullopt;
  if (countGraphemeClusters(*string, saveStringLimit) >= saveStringLimit) return std::nullopt;
  return Action::Save{.path = *path, .string = *string, .label = *label};
}

std::optional<Action::Load> decodeLoad(const Dictionary& parameters) {
  const auto* path = stringAt(parameters, "path");
  if (path == nullptr) return std::nullopt;
  return Action::Load{.path = *path};
}

std::optional<Action::Delete> decodeDelete(const Dictionary& parameters) {
  const auto* deletePath = stringAt(parameters, "deletePath");
  if (deletePath == nullptr) return std::nullopt;
  const auto* label = stringAt(parameters, "label");
  if (label == nullptr) return std::nullopt;
  return Action::Delete{.deletePath = *deletePath, .label = *label};
}

std::optional<Action::Test> decodeTest(const Dictionary& parameters) {
  const auto* testPath = stringAt(parameters, "testPath");
  if (testPath == nullptr) return std::nullopt;
  const auto* testOutputPath = stringAt(parameters, "testOutputPath");
  if (testOutputPath == nullptr) return std::nullopt;
  const auto* string = stringAt(parameters, "string");
  if (string == nullptr) return std::nullopt;
  const auto* label = stringAt(parameters, "label");
  if (label == nullptr) return std::nullopt;
  return Action::Test{
      .testPath = *testPath, .testOutputPath = *testOutputPath, .string = *string, .label = *label};
}

std::optional<Action::Remove> decodeRemove(const Dictionary& parameters) {
  const auto* path = stringAt(parameters, "path");
  if (path == nullptr) return std::nullopt;
  const auto* label = stringAt(parameters, "label");
  if (label == nullptr) return std::nullopt;
  return Action::Remove{.path = *path, .label = *label};
}

}  // namespace tarnel
