// word_core, plausible_case and the word decision on any bytes, in any layout (the third one
// too), forced or not. A word core is a clean word of its layout inside the text; neither the
// plain nor the forced decision ever converts a word the exceptions hold, whichever way the
// exception is written (as meant, or as typed); an exception of another word changes nothing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "fuzz_dictionaries.h"
#include "layout/layout.h"
#include "text/text.h"

using namespace klavix;
using klavix::fuzz::dictionaries;
using klavix::fuzz::escaped;

namespace {

void check_core(std::string_view s, Layout l) {
  const std::optional<std::string> core = word_core(s, l);
  if (l == Layout::Other) {
    FUZZ_CHECK(!core, "a core in the third layout: " + escaped(s));
    return;
  }
  if (!core) return;
  FUZZ_CHECK(!core->empty() && s.find(*core) != std::string_view::npos, escaped(s) + " gave " + escaped(*core));
  const std::u32string cps = text::decode_utf8(*core).value_or(U"");
  FUZZ_CHECK(!cps.empty() && is_letter(cps.front(), l) && is_letter(cps.back(), l),
             "the core " + escaped(*core) + " of " + escaped(s) + " does not start and end with a letter");
  FUZZ_CHECK(word_core(*core, l) == core, "the core of " + escaped(*core) + " is not itself");
}

void check_case(std::string_view s) {
  // A word of the layouts' letters in one case is always plausible, whatever surrounds it.
  std::string letters;
  for (char c : s)
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') letters.push_back(c);
  if (letters.empty()) return;
  FUZZ_CHECK(plausible_case(text::to_lower(letters)) && plausible_case(text::to_upper(letters)), escaped(letters));
  std::string title = text::to_lower(letters);
  title[0] = static_cast<char>(title[0] - 0x20);
  FUZZ_CHECK(plausible_case(title), escaped(title));
}

void check_decision(std::string_view typed, Layout l, bool force, bool as_converted) {
  const Dictionaries& d = dictionaries();
  const std::string converted = as_converted ? convert_text(typed).text : std::string(typed.rbegin(), typed.rend());
  const WordSet none;
  const bool converts = decide_wrong_layout(d, l, typed, converted, none, force);
  if (l == Layout::Other) {
    FUZZ_CHECK(!converts, "the third layout converted " + escaped(typed));
    return;
  }
  // No exception with a digit can match: a typed text with one is never converted.
  const WordSet unrelated{"\xD0\xB9\xD1\x86\xD1\x83\xD0\xBA" "1", "qwerty1"};
  FUZZ_CHECK(decide_wrong_layout(d, l, typed, converted, unrelated, force) == converts,
             "an unrelated exception changed the decision on " + escaped(typed));
  if (!converts) return;
  // The word as meant (the converted core, lower case) and as typed (the typed core, else the
  // whole typed text), each as the exceptions prompt writes it.
  const std::optional<std::string> meant = word_core(converted, other_layout(l));
  FUZZ_CHECK(meant.has_value(), "converted without a core: " + escaped(typed) + " -> " + escaped(converted));
  const WordSet as_meant{text::to_lower(*meant)};
  FUZZ_CHECK(!decide_wrong_layout(d, l, typed, converted, as_meant, force),
             "converted " + escaped(typed) + " although the exceptions hold " + escaped(*as_meant.begin()));
  const std::optional<std::string> typed_core = word_core(typed, l);
  const WordSet as_typed{text::to_lower(typed_core ? *typed_core : std::string(typed))};
  FUZZ_CHECK(!decide_wrong_layout(d, l, typed, converted, as_typed, force),
             "converted " + escaped(typed) + " although the exceptions hold " + escaped(*as_typed.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  const Layout l = static_cast<Layout>(mode % 3);
  const std::string_view s(reinterpret_cast<const char*>(data + 1), size - 1);
  check_core(s, l);
  check_case(s);
  check_decision(s, l, (mode >> 2) & 1, ((mode >> 3) & 3) != 0);
  return 0;
}
