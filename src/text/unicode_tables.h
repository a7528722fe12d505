#pragma once
// Shapes of the generated Unicode tables (src/text/unicode_tables.cpp, written by
// tools/gen_unicode_tables.py). Internal to src/text.
#include <array>
#include <cstddef>
#include <cstdint>

namespace klavix::text::tables {

// The code points first, first + stride, ... up to last (included); stride is 1 or 2, the
// second for the alternating capital and small letters of many blocks.
struct Range {
  char32_t first;
  char32_t last;
  std::uint8_t stride;
};

// Below this every property is one bit test: Latin, Greek, Cyrillic and the rest of the
// two-byte UTF-8 range never reach the binary search.
inline constexpr char32_t bitmap_limit = 0x800;

struct Property {
  std::array<std::uint64_t, bitmap_limit / 64> low;
  const Range* ranges;  // sorted; no range's span holds a code point of another; all of them
  std::size_t count;
};

template <std::size_t N>
constexpr Property make_property(const Range (&ranges)[N]) {
  Property p{{}, ranges, N};
  for (const Range& r : ranges) {
    for (char32_t cp = r.first; cp <= r.last && cp < bitmap_limit; cp += r.stride) {
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
