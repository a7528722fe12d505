#include "text/text.h"
#include "text/unicode_tables.h"

namespace klavix::text {

namespace {

bool has_property(const tables::Property& p, char32_t cp) {
  if (cp < tables::bitmap_limit) return (p.low[cp / 64] >> (cp % 64)) & 1;
  // The first range that does not end before cp.
  std::size_t lo = 0;
  std::size_t hi = p.count;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (p.ranges[mid].last < cp) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == p.count || p.ranges[lo].first > cp) return false;
  return (cp - p.ranges[lo].first) % p.ranges[lo].stride == 0;
}

// The run that maps cp, or null when cp maps to itself.
const tables::CaseRun* find_run(const tables::CaseMap& m, char32_t cp) {
  // One past the last run that starts at or before cp.
  std::size_t lo = 0;
  std::size_t hi = m.count;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (m.runs[mid].first <= cp) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return nullptr;
  const tables::CaseRun& run = m.runs[lo - 1];
  const char32_t offset = cp - run.first;
  if (offset % run.stride != 0 || offset / run.stride >= run.count) return nullptr;
  return &run;
}

constexpr char32_t ascii_lower(char32_t cp) { return cp >= 'A' && cp <= 'Z' ? cp + 32 : cp; }
constexpr char32_t ascii_upper(char32_t cp) { return cp >= 'a' && cp <= 'z' ? cp - 32 : cp; }

void append_cp(std::u32string& out, char32_t cp) { out.push_back(cp); }
void append_cp(std::string& out, char32_t cp) { append_utf8(out, cp); }

template <class Out>
void append_mapped(Out& out, const tables::CaseMap& m, char32_t cp) {
  const tables::CaseRun* run = find_run(m, cp);
  if (run == nullptr) {
    append_cp(out, cp);
  } else if (run->length == 0) {
    append_cp(out, static_cast<char32_t>(static_cast<std::int32_t>(cp) + run->value));
  } else {
    const char32_t* p = m.pool + run->value;
    for (std::uint8_t i = 0; i < run->length; ++i) append_cp(out, p[i]);
  }
}

template <bool Lower>
std::string map_utf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(Lower ? ascii_lower(b) : ascii_upper(b)));
      ++i;
      continue;
    }
    const Utf8Step step = decode_utf8_at(utf8, i);
    i += step.length;
    if (!step.valid) {
      append_utf8(out, replacement_char);
    } else if (Lower) {
      append_mapped(out, tables::lower, step.cp);
    } else {
      append_mapped(out, tables::upper, step.cp);
    }
  }
  return out;
}

}  // namespace

bool is_alphabetic(char32_t cp) { return has_property(tables::alphabetic, cp); }
bool is_lowercase(char32_t cp) { return has_property(tables::lowercase, cp); }
bool is_uppercase(char32_t cp) { return has_property(tables::uppercase, cp); }
bool is_white_space(char32_t cp) { return has_property(tables::white_space, cp); }

void append_lower(std::u32string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(ascii_lower(cp));
  } else {
    append_mapped(out, tables::lower, cp);
  }
}

void append_upper(std::u32string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(ascii_upper(cp));
  } else {
    append_mapped(out, tables::upper, cp);
  }
}

void append_lower(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(ascii_lower(cp)));
  } else {
    append_mapped(out, tables::lower, cp);
  }
}

void append_upper(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(ascii_upper(cp)));
  } else {
    append_mapped(out, tables::upper, cp);
  }
}

std::string to_lower(std::string_view utf8) { return map_utf8<true>(utf8); }
std::string to_upper(std::string_view utf8) { return map_utf8<false>(utf8); }

std::u32string to_lower(std::u32string_view cps) {
  std::u32string out;
  out.reserve(cps.size());
  for (char32_t cp : cps) append_lower(out, cp);
  return out;
}

std::string_view trim_white_space(std::string_view utf8) {
  // One forward pass: backing up over UTF-8 from the end would have to second-guess invalid
  // bytes, which are never white space.
  std::size_t begin = utf8.size();
  std::size_t end = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const Utf8Step step = decode_utf8_at(utf8, i);
    if (!(step.valid && is_white_space(step.cp))) {
      if (begin == utf8.size()) begin = i;
      end = i + step.length;
    }
    i += step.length;
  }
  if (begin >= end) return utf8.substr(0, 0);
  return utf8.substr(begin, end - begin);
}

}  // namespace klavix::text
