// Counting user-perceived characters: extended grapheme clusters (Unicode Standard Annex #29).
#pragma once

#include <cstddef>
#include <string_view>

namespace tarnel {

// The number of extended grapheme clusters in `utf8` (valid UTF-8), counting no further than
// `stopAt`: a text of at least `stopAt` clusters yields `stopAt`, so a limit check never walks
// more of a long text than the limit needs. Of bytes that are not UTF-8 the number means nothing,
// but no byte past them is read.
std::size_t countGraphemeClusters(std::string_view utf8, std::size_t stopAt);

}  // namespace tarnel
