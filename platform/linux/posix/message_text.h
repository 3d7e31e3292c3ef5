// How a typed error's words are made, the same for every subsystem: its texts are a table with
// one row per kind, each a text whose placeholders ({s}, {e}, {n}, ...) describe() fills in where
// the message leaves the program.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

namespace tarnel::linux_platform {

template <typename Kind>
struct MessageText {
  Kind kind;
  std::string_view text;
};

// Whether `texts` holds exactly one row for each kind from the enum's first value to `last`, so
// that a table can be checked where it is written: static_assert(everyKindHasOneText(...)).
template <typename Kind, std::size_t N>
constexpr bool everyKindHasOneText(const MessageText<Kind> (&texts)[N], Kind last) {
  if (N != static_cast<std::size_t>(last) + 1) return false;
  for (std::size_t value = 0; value < N; ++value) {
    std::size_t rows = 0;
    for (const auto& row : texts) rows += static_cast<std::size_t>(row.kind) == value ? 1 : 0;
    if (rows != 1) return false;
  }
  return true;
}

// The text of `kind` in `texts`.
template <typename Kind, std::size_t N>
constexpr std::string_view textOf(const MessageText<Kind> (&texts)[N], Kind kind) {
  for (const auto& row : texts) {
    if (row.kind == kind) return row.text;
  }
  // Every kind has its text (everyKindHasOneText checks the table): a kind without one is a
  // programming error.
  std::abort();
}

// What a placeholder "{letter}" stands for.
struct Placeholder {
  char letter;
  std::string_view value;
};

// `text` with each "{x}" replaced by the value of the placeholder lettered x, or by nothing when
// none is; a brace that opens no such three-character placeholder stays as it is.
std::string filledIn(std::string_view text, std::initializer_list<Placeholder> placeholders);

// The pieces, one after another: a message put together from fixed words and what it names.
std::string join(std::initializer_list<std::string_view> pieces);

}  // namespace tarnel::linux_platform
