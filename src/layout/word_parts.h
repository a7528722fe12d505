#pragma once
// The pieces both decisions are built from: cores, lower case, the keys behind a core.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "layout/layout.h"

namespace klavix::layout_detail {

// Bytes [begin, end) of a text.
struct ByteRange {
  std::size_t begin, end;
};

// A digit, @, backslash, low line, vertical bar or number sign: such a text is no word typed in
// the wrong layout.
bool has_barred_character(std::string_view typed);
// The full lower-case mapping of `s`; `chars` receives its number of characters.
std::string lower_case(std::string_view s, std::size_t& chars);
// The same into `out`, which keeps its room from call to call.
void lower_case_into(std::string_view s, std::string& out, std::size_t& chars);
// Where the core of the word stands: from the first letter of l to the end of the last one;
// none when something else than a joiner stands between letters.
std::optional<ByteRange> core_range(std::string_view utf8, Layout l);
// The typed characters that stand where the converted core stands, lower-cased (texts whose
// characters do not line up one to one give nothing).
std::optional<std::string> typed_keys_of(std::string_view typed, std::string_view converted, ByteRange core);

}  // namespace klavix::layout_detail
