// The watched list files (exceptions.txt, apps.txt) on any bytes. Reading never fails and
// gives what the reader's rules give on the bytes; appending a word keeps every earlier byte of
// the file, adds its entry on a line of its own (after a line break when the file lacked one)
// and nothing else, and the file read again holds the entry and every earlier one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/config.h"
#include "fuzz_check.h"
#include "fuzz_folder.h"
#include "text/text.h"

using namespace klavix;
using klavix::fuzz::escaped;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::folder();
  // The file's bytes, a zero byte, the word to append.
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = all.find('\0');
  const std::string_view bytes = all.substr(0, zero);
  const std::string_view word = zero == std::string_view::npos ? std::string_view() : all.substr(zero + 1);
  const std::filesystem::path path = exceptions_path();
  fuzz::write_bytes(path, bytes);

  WatchedList list = load_list(path);
  const std::unordered_set<std::string> before = parse_list(bytes);
  FUZZ_CHECK(list.entries == before, escaped(bytes));

  append_to_list(list, word);
  const std::string after = fuzz::read_bytes(path);
  FUZZ_CHECK(after.size() >= bytes.size() && std::string_view(after).substr(0, bytes.size()) == bytes,
             "appending " + escaped(word) + " to " + escaped(bytes) + " gave " + escaped(after));
  const std::string entry = text::to_lower(text::trim_white_space(word));
  std::string_view added = std::string_view(after).substr(bytes.size());
  if (added.empty()) {
    FUZZ_CHECK(entry.empty() || before.contains(entry) || entry.find_first_of("\r\n") != std::string::npos ||
                   entry[0] == '#',
               escaped(word) + " was not appended to " + escaped(bytes));
  } else {
    const bool needs_break = !bytes.empty() && bytes.back() != '\n';
    FUZZ_CHECK(added == (needs_break ? "\n" : "") + entry + "\n",
               "appending " + escaped(word) + " to " + escaped(bytes) + " added " + escaped(added));
    FUZZ_CHECK(list.entries.contains(entry), escaped(entry));
    // Read again, the file holds the new entry (when it is UTF-8 at all) and every earlier one.
    const std::unordered_set<std::string> reread = parse_list(after);
    if (text::is_valid_utf8(after)) FUZZ_CHECK(reread.contains(entry), escaped(after));
    for (const std::string& e : before) FUZZ_CHECK(reread.contains(e), escaped(e) + " lost from " + escaped(after));
  }
  return 0;
}
