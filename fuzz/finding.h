// How a fuzz target reports a property that does not hold: a line saying which, then an abort,
// which libFuzzer records as a finding together with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace tarnel::fuzz {

inline void expect(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "fuzz finding: %s\n", property);
  std::abort();
}

}  // namespace tarnel::fuzz
