// The record into which one request is decoded: its kind, its flags, its authorization data and
// the payload of its kind. Only decodeAction makes one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/value.h"

namespace tarnel {

class Action {
 public:
  enum class Kind : std::int8_t {
    save = 0,
    saveLoad = 1,
    delete_ = 2,  // "delete" is a keyword
    load = 3,
    remove = 4,
    test = 5,
    uninstall = 6,
    terminate = 7,
  };

  // Kinds save and saveLoad.
  struct Save {
    std::string path;
    std::string string;
    std::string label;
    std::optional<std::string> deletePath;           // absent in every decoded record
    std::optional<std::string> localAgentLoadPath;   // absent in every decoded record
  };
  struct Load {
    std::string path;
  };
  struct Delete {
    std::string deletePath;
    std::string label;
    std::optional<std::string> localAgentUnloadPath;   // absent in every decoded record
  };
  struct Test {
    std::string testPath;
    std::string testOutputPath;
    std::string string;
    std::string label;
  };
  struct Remove {
    std::string path;
    std::string label;
  };

  Kind kind;
  bool presentError = true;
  bool cleanUp = true;
  bool privileged = false;
  std::optional<Bytes> authData;
  std::optional<Save> save;
  std::optional<Load> load;
  std::optional<Delete> delete_;
  std::optional<Test> test;
  std::optional<Remove> remove;

 private:
  explicit Action(Kind decodedKind) : kind(decodedKind) {}
  friend std::optional<Action> decodeAction(const Dictionary& request);
};

// The kind whose raw value is `rawValue` (0 to 7); nothing for any other value.
std::optional<Action::Kind> kindFromRawValue(std::int64_t rawValue);
std::int64_t rawValue(Action::Kind kind);

}  // namespace tarnel
