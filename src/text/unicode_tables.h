#pragma once
// Shapes of the generated Unicode tables (src/text/unicode_tables.cpp, written by
// tools/gen_unicode_tables.py). Internal to src/text.
#include <array>
#include <cstddef>
#include <cstdint>

namespace klavix::text::tables {

// Code points first..last, both included.
struct Range {
  char32_t first;
  char32_t last;
};

// Below this every property is one bit test: Latin, Greek, Cyrillic and the rest of the
// two-byte UTF-8 range never reach the binary search.
inline constexpr char32_t bitmap_limit = 0x800;

struct Property {
  std::array<std::uint64_t, bitmap_limit / 64> low;
  const Range* ranges;  // sorted, disjoint, not adjacent; all of them, the low ones included
  std::size_t count;
};

template <std::size_t N>
constexpr Property make_property(const Range (&ranges)[N]) {
  Property p{{}, ranges, N};
  for (const Range& r : ranges) {
    for (char32_t cp = r.first; cp <= r.last && cp < bitmap_limit; ++cp) {
      p.low[cp / 64] |= std::uint64_t{1} << (cp % 64);
    }
  }
  return p;
}

// The code points first, first + stride, ... (count of them) each map to one code point, the
// source plus `value`; or, when `length` is not zero, the run is one code point that maps to
// `length` code points starting at pool[value]. Runs are sorted by `first` and the span of a
// run holds no code point of another run.
struct CaseRun {
  char32_t first;
  std::uint16_t count;
  std::uint8_t stride;
  std::uint8_t length;
  std::int32_t value;
};

struct CaseMap {
  const CaseRun* runs;
  std::size_t count;
  const char32_t* pool;
};

extern const Property alphabetic;
extern const Property lowercase;
extern const Property uppercase;
extern const Property white_space;
extern const CaseMap lower;
extern const CaseMap upper;

}  // namespace klavix::text::tables
