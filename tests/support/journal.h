// One ordered record of every call that the fake platform's services receive, so that a test can
// read back the exact sequence of programs started, files touched, log lines, pauses and exits.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace tarnel::support {

// Where an entry comes from: a service of the fake platform, one of the transport's objects, or a
// reply block that a test holds.
enum class Source {
  processes,
  files,
  log,
  clock,
  processExit,
  codeSigning,
  authorization,
  transport,
  listener,
  connection,
  reply,
};

struct JournalEntry {
  Source source;
  std::string text;  // as the source words it, e.g. "run /bin/launchctl list"
};

class Journal {
 public:
  void record(Source source, std::string text) { entries_.push_back({source, std::move(text)}); }
  void clear() { entries_.clear(); }

  // Every entry's text, in call order.
  std::vector<std::string> entries() const {
    return texts([](Source) { return true; });
  }
  // The texts of the entries from `sources` alone.
  std::vector<std::string> entriesFrom(std::initializer_list<Source> sources) const {
    return texts(
        [&](Source source) { return std::ranges::find(sources, source) != sources.end(); });
  }
  // The texts of every entry but those from `sources`.
  std::vector<std::string> entriesExcept(std::initializer_list<Source> sources) const {
    return texts(
        [&](Source source) { return std::ranges::find(sources, source) == sources.end(); });
  }

 private:
  template <class Keep>
  std::vector<std::string> texts(Keep keep) const {
    std::vector<std::string> kept;
    for (const auto& entry : entries_) {
      if (keep(entry.source)) kept.push_back(entry.text);
    }
    return kept;
  }

  std::vector<JournalEntry> entries_;
};

}  // namespace tarnel::support
