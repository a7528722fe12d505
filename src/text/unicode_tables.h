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

// What the lookups rely on, checked when the tables compile: sorted, strides of 1 or 2, and
// no span reaching into the next entry.
template <std::size_t N>
constexpr bool well_formed(const Range (&ranges)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    const Range& r = ranges[i];
    if ((r.stride != 1 && r.stride != 2) || r.first > r.last || r.last > 0x10FFFF) return false;
    if ((r.last - r.first) % r.stride != 0) return false;
    if (i + 1 < N && r.last >= ranges[i + 1].first) return false;
  }
  return true;
}

template <std::size_t N, std::size_t P>
constexpr bool well_formed(const CaseRun (&runs)[N], const char32_t (&)[P]) {
  for (std::size_t i = 0; i < N; ++i) {
    const CaseRun& r = runs[i];
    if ((r.stride != 1 && r.stride != 2) || r.count == 0) return false;
    const char32_t last = r.first + (r.count - 1u) * r.stride;
    if (last > 0x10FFFF) return false;
    if (i + 1 < N && last >= runs[i + 1].first) return false;
    if (r.length != 0 &&
        (r.count != 1 || r.value < 0 || static_cast<std::size_t>(r.value) + r.length > P)) {
      return false;
    }
  }
  return true;
}

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
