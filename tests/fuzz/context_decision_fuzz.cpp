// The decision in context on any bytes: the token, its other reading, up to two words before
// in either layout, a switch by hand or not, decided alone or as a word carried along. It never
// converts in the third layout or right after the user's own switch, never converts a word the
// exceptions hold in any of the forms they are written in, is not moved by an unrelated
// exception, gives the same answer twice, and what it converts alone it also carries along.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_dictionaries.h"
#include "layout/layout.h"
#include "text/text.h"

using namespace klavix;
using klavix::fuzz::dictionaries;
using klavix::fuzz::escaped;

namespace {

// The fields of the input, split at line feeds: the typed token, then each word before.
std::vector<std::string_view> fields(std::string_view s) {
  std::vector<std::string_view> out;
  for (std::size_t pos = 0;;) {
    const std::size_t lf = s.find('\n', pos);
    out.push_back(s.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos));
    if (lf == std::string_view::npos || out.size() == 3) break;
    pos = lf + 1;
  }
  return out;
}

bool decide(Layout l, std::string_view typed, std::string_view converted, const WordSet& exceptions,
            const WordContext& context, bool carried) {
  const Dictionaries& d = dictionaries();
  return carried ? decide_carried(d, l, typed, converted, exceptions, context)
                 : decide_in_context(d, l, typed, converted, exceptions, context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  const Layout l = static_cast<Layout>(mode % 3);
  const bool carried = (mode >> 2) & 1;
  const bool by_hand = (mode >> 3) & 1;
  const bool as_converted = ((mode >> 4) & 1) == 0;  // else any other text stands for the other reading
  const std::vector<std::string_view> f = fields(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  const std::string_view typed = f[0];
  const std::string converted = as_converted ? convert_text(typed).text : std::string(typed.rbegin(), typed.rend());

  // The words before, each in the layout a bit of the mode names, with its keys' other reading.
  std::vector<std::string> others;
  for (std::size_t i = 1; i < f.size(); ++i) others.push_back(convert_text(f[i]).text);
  std::vector<WordBefore> before;
  for (std::size_t i = 1; i < f.size(); ++i)
    before.push_back({f[i], others[i - 1], ((mode >> (4 + i)) & 1) ? Layout::Ru : Layout::En});
  const WordContext context{before, by_hand};
  const WordContext unswitched{before, false};

  const double advantage = reading_advantage(dictionaries(), l, typed, converted);
  FUZZ_CHECK(!std::isnan(advantage), "no advantage for " + escaped(typed));

  const WordSet none;
  const bool converts = decide(l, typed, converted, none, context, carried);
  FUZZ_CHECK(decide(l, typed, converted, none, context, carried) == converts, "two answers for " + escaped(typed));
  if (l == Layout::Other) FUZZ_CHECK(!converts, "the third layout converted " + escaped(typed));
  if (by_hand) FUZZ_CHECK(!converts, "converted right after a switch by hand: " + escaped(typed));
  if (!carried && !by_hand && converts)
    FUZZ_CHECK(decide(l, typed, converted, none, unswitched, true), "converted alone but not carried along: " + escaped(typed));

  const WordSet unrelated{"\xD0\xB9\xD1\x86\xD1\x83\xD0\xBA" "1", "qwerty1"};
  FUZZ_CHECK(decide(l, typed, converted, unrelated, context, carried) == converts,
             "an unrelated exception changed the decision on " + escaped(typed));
  if (!converts) return 0;
  // The word as meant and as typed, as the exceptions prompt writes them.
  const std::optional<std::string> meant = word_core(converted, other_layout(l));
  FUZZ_CHECK(meant.has_value(), "converted without a core: " + escaped(typed) + " -> " + escaped(converted));
  const std::optional<std::string> typed_core = word_core(typed, l);
  for (const std::string& exception : {text::to_lower(*meant), text::to_lower(typed_core ? *typed_core : std::string(typed))}) {
    FUZZ_CHECK(!decide(l, typed, converted, WordSet{exception}, context, carried),
               "converted " + escaped(typed) + " although the exceptions hold " + escaped(exception));
  }
  return 0;
}
