#include "tools/tarnelctl/report.h"

#include <algorithm>
#include <variant>

#include "model/helper_label.h"
#include "model/reply.h"
#include "tools/tarnelctl/diagnostic_notation.h"
#include "tools/tarnelctl/json_notation.h"

namespace tarnel::tarnelctl {

namespace {

using linux_platform::CallFailure;

const std::string kHelperLog = std::string("the helper's log: journalctl -t ") + helperLabel;

// The codes of the helper's own error domain, which come without words.
struct CodeMeaning {
  ReplyErrorCode code;
  const char* description;
  const char* suggestion;
};

constexpr CodeMeaning kCodeMeanings[] = {
    {ReplyErrorCode::invalidRequest,
     "the helper did not take the request: it is not a request it knows, or a value in it is not "
     "of the kind it takes",
     "check the subcommand's options with tarnelctl --help"},
    {ReplyErrorCode::notAuthorized,
     "not authorized: the request's authorization does not hold the right com.quorvant.TarnelX8, "
     "or the helper's own signature failed its check",
     "without --auth-data, tarnelctl obtains the right itself; the helper ends after refusing an "
     "authorization and starts again on the next request; authorityd's log: journalctl -u "
     "tarnel-authorityd"},
    {ReplyErrorCode::missingPayload, "the request lacks a value that its kind needs",
     "give every option that tarnelctl --help lists for the subcommand"},
    {ReplyErrorCode::removeFailed, "launchctl could not unload the job's file or remove its label",
     "launchctl list shows the jobs that launchd holds; a job loaded from the file is out once "
     "the file is unloaded, and removing its label then fails: give --label \"\" to unload only"},
    {ReplyErrorCode::loadFailed, "launchctl could not load the job",
     "check that the file exists and holds a job definition; launchctl's words are in the "
     "helper's log"},
    {ReplyErrorCode::unloadFailed, "launchctl could not unload the job",
     "launchctl list shows the jobs that launchd holds"},
    {ReplyErrorCode::symbolicLink,
     "the test path is a symbolic link, and the helper writes no file through one",
     "give a --test-path that is not a link"},
};

std::string pathOf(const std::optional<std::string>& path) { return path.value_or(""); }

// What a success reply means, said of what was asked.
std::string successSentence(const Command& command) {
  if (command.verb != Command::Verb::request) return "done";
  const auto& options = command.options;
  const std::string label = options.label.value_or("");
  switch (command.kind) {
    case Action::Kind::save:
      return "saved " + pathOf(options.path);
    case Action::Kind::saveLoad:
      return "saved and loaded " + pathOf(options.path);
    case Action::Kind::delete_:
      return label.empty()
                 ? "deleted " + pathOf(options.deletePath)
                 : "took " + label + " out of launchd and deleted " + pathOf(options.deletePath);
    case Action::Kind::load:
      return "loaded " + pathOf(options.path);
    case Action::Kind::remove:
      return label.empty() ? "unloaded " + pathOf(options.path)
                           : "took " + label + " out of launchd";
    default:
      return "done";
  }
}

std::string emptyTestReport(const RequestOptions& options) {
  return "the test run of " + options.label.value_or("") +
         " reported nothing: its load printed nothing, it had not failed, and it wrote nothing to " +
         pathOf(options.testOutputPath) + " (a job runs at its load only with RunAtLoad, and writes there only as its "
         "StandardOutPath)\n";
}

bool endsTheHelper(const Command& command) {
  return command.verb == Command::Verb::request &&
         (command.kind == Action::Kind::terminate || command.kind == Action::Kind::uninstall);
}

std::string textAt(const Dictionary& dictionary, std::string_view key) {
  const auto* value = dictionary.find(key);
  const auto* text = value ? value->get<std::string>() : nullptr;
  return text ? *text : "";
}

// An error reply's information: the helper's words, or for its own codes, ours.
std::optional<Dictionary> errorInformation(const Value& information) {
  const auto* fields = information.get<Dictionary>();
  if (!fields || !fields->find("domain") || !fields->find("code")) return std::nullopt;
  const auto* code = fields->find("code")->get<std::int64_t>();
  Dictionary error{{"outcome", "error"},
                   {"domain", *fields->find("domain")},
                   {"code", *fields->find("code")},
                   {"description", textAt(*fields, "description")},
                   {"suggestion", textAt(*fields, "suggestion")}};
  if (textAt(*fields, "domain") == errorDomain && code) {
    const auto meaning =
        std::ranges::find(kCodeMeanings, static_cast<ReplyErrorCode>(*code), &CodeMeaning::code);
    if (meaning != std::end(kCodeMeanings)) {
      *error.find("description") = meaning->description;
      *error.find("suggestion") = meaning->suggestion;
    }
  }
  return error;
}

Report jsonReport(const Dictionary& facts, int status) {
  return Report{.out = jsonNotation(facts) + "\n", .err = "", .status = status};
}

Report reportValue(const Command& command, const Value& value) {
  const auto* reply = value.get<Dictionary>();
  const auto* key =
      reply && reply->size() == 1 ? reply->entries().front().key.get<std::int64_t>() : nullptr;
  const Value* answer = key ? &reply->entries().front().value : nullptr;
  const bool json = command.format == Format::json;
  if (key && *key == static_cast<std::int64_t>(ReplyKey::success)) {
    if (json) return jsonReport(Dictionary{{"outcome", "success"}}, kDone);
    return Report{.out = successSentence(command) + "\n"};
  }
  if (key && *key == static_cast<std::int64_t>(ReplyKey::output) && answer->is<std::string>()) {
    const std::string& text = *answer->get<std::string>();
    if (json) return jsonReport(Dictionary{{"outcome", "report"}, {"report", text}}, kDone);
    // An empty report is a run that printed no error, had not failed 0.3 seconds after its load,
    // and wrote nothing to the output file: said so, rather than as nothing at all.
    if (text.empty()) return Report{.out = emptyTestReport(command.options)};
    return Report{.out = text.ends_with('\n') ? text : text + "\n"};
  }
  if (answer) {
    if (const auto error = errorInformation(*answer)) {
      if (json) return jsonReport(*error, kAnsweredWithError);
      std::string err = "tarnelctl: " + textAt(*error, "description") + " (" +
                        textAt(*error, "domain") + " " + diagnosticNotation(*error->find("code")) +
                        ")\n";
      if (const auto suggestion = textAt(*error, "suggestion"); !suggestion.empty()) {
        err += "  " + suggestion + "\n";
      }
      return Report{.err = err, .status = kAnsweredWithError};
    }
  }
  // A reply of no shape the helper gives, as to a request sent raw: shown as it came.
  if (json) return jsonReport(Dictionary{{"outcome", "reply"}, {"reply", value}}, kDone);
  return Report{.out = "the helper replied " + diagnosticNotation(value) + "\n"};
}

Report reportEndpoint(Format format, const std::optional<ListenerEndpoint>& endpoint) {
  if (format == Format::json) {
    return jsonReport(Dictionary{{"outcome", "endpoint"},
                                 {"endpoint", endpoint ? Value(endpoint->socketAddress) : Value()}},
                      kDone);
  }
  return Report{.out = endpoint
                           ? "the helper's listener endpoint is " + endpoint->socketAddress + "\n"
                           : "the helper has no listener endpoint\n"};
}

Report reportWithoutReply(const Command& command, CallFailure failure) {
  const bool diagnostic = command.format == Format::diagnostic;
  switch (failure) {
    case CallFailure::invalidated:
      return reportFailure(
          command.format,
          Failure{
              .what = diagnostic ? "the connection was refused or invalidated"
                                 : "the helper refused the connection or cut it off",
              .status = kRefused,
              .explanation = StatusExplanation{
                  .meaning = "the helper serves only its signed clients, each as it was "
                             "when it connected",
                  .check = "that this is the tarnelctl the package installed, and " + kHelperLog}});
    case CallFailure::endedWithoutReply:
      if (!diagnostic && endsTheHelper(command)) {
        if (command.format == Format::json) {
          return jsonReport(Dictionary{{"outcome", "ended"}}, kDone);
        }
        return Report{.out = "the helper has ended\n"};
      }
      return reportFailure(
          command.format,
          Failure{.what = diagnostic ? "the connection ended without a reply"
                                     : "the helper ended the connection without a reply",
                  .status = kEndedWithoutReply,
                  .explanation = StatusExplanation{
                      .meaning = "the helper ended, or chose not to answer", .check = kHelperLog}});
    case CallFailure::badReply:
      return reportFailure(command.format, Failure{.what = "the reply could not be read"});
    case CallFailure::unknownMethod:
      return reportFailure(command.format,
                           Failure{.what = "the method's type encoding could not be read"});
  }
  return reportFailure(command.format, Failure{.what = "the call failed"});
}

}  // namespace

Report reportReply(const Command& command, const CallResult& reply) {
  if (!reply) return reportWithoutReply(command, reply.error());
  if (command.format == Format::diagnostic) {
    std::string line;
    for (const auto& argument : *reply) {
      if (!line.empty()) line += ", ";
      line += std::visit([](const auto& value) { return diagnosticNotation(value); }, argument);
    }
    return Report{.out = line + "\n"};
  }
  // Each method the helper serves replies with one argument, of the kind its encoding declares.
  if (reply->size() == 1) {
    if (const auto* endpoint = std::get_if<std::optional<ListenerEndpoint>>(&reply->front())) {
      return reportEndpoint(command.format, *endpoint);
    }
    return reportValue(command, std::get<Value>(reply->front()));
  }
  return reportFailure(command.format, Failure{.what = "the reply could not be read"});
}

Report reportFailure(Format format, const Failure& failure) {
  if (format == Format::json) {
    Dictionary facts{{"outcome", "failed"}, {"reason", failure.what}};
    if (failure.authorizationStatus) facts.append("status", *failure.authorizationStatus);
    if (failure.explanation) {
      facts.append("meaning", failure.explanation->meaning);
      facts.append("check", failure.explanation->check);
    }
    return jsonReport(facts, failure.status);
  }
  // The first line as it has always been; an authorization's status carries its meaning in every
  // form, the rest only for people.
  std::string err = "tarnelctl: " + failure.what + "\n";
  if (failure.explanation &&
      (format == Format::readable || failure.authorizationStatus.has_value())) {
    err += "  " + failure.explanation->meaning + "\n  check: " + failure.explanation->check + "\n";
  }
  return Report{.err = err, .status = failure.status};
}

Report reportDone(Format format, const std::string& sentence, const Dictionary& facts) {
  switch (format) {
    case Format::json:
      return jsonReport(facts, kDone);
    case Format::diagnostic:
      return Report{.out = diagnosticNotation(facts) + "\n"};
    case Format::readable:
      break;
  }
  return Report{.out = sentence + "\n"};
}

}  // namespace tarnel::tarnelctl
