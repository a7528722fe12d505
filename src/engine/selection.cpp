// Converting the selected text through the clipboard: save, copy, convert, paste, restore.
#include <algorithm>
#include <cstring>

#include "engine/engine.h"
#include "text/text.h"

namespace klavix {

namespace {

constexpr int open_attempts = 20;
constexpr std::uint32_t open_retry_ms = 10;
constexpr std::uint32_t copy_poll_ms = 10;
constexpr std::uint32_t copy_settle_ms = 20;

// GDI handles and owner-drawn formats are not memory blocks: they cannot be copied as bytes.
bool unsaved_format(std::uint32_t f) {
  switch (f) {
    case win::CF_BITMAP:
    case win::CF_METAFILEPICT:
    case win::CF_PALETTE:
    case win::CF_ENHMETAFILE:
    case win::CF_OWNERDISPLAY:
    case win::CF_DSPBITMAP:
    case win::CF_DSPMETAFILEPICT:
    case win::CF_DSPENHMETAFILE:
      return true;
    default:
      return false;
  }
}

// The block's text: units up to the first zero unit, never past the block's end.
std::string block_text(const std::vector<std::uint8_t>& bytes) {
  const std::size_t units = bytes.size() / 2;
  std::u16string s;
  s.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t u = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (u == 0) break;
    s.push_back(u);
  }
  return text::from_utf16(s);
}

std::vector<std::uint8_t> block_of(std::string_view utf8) {
  const std::u16string units = text::to_utf16(utf8);
  std::vector<std::uint8_t> bytes(2 * (units.size() + 1), 0);
  for (std::size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
  return bytes;
}

bool is_word_letter(char32_t c) {
  if (c < 0x80) return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
  return c >= 0xAA && text::is_alphabetic(c);
}

// Some word shows the Caps Lock shape: two or more letters, a lowercase first one, only
// uppercase ones after it.
bool has_caps_lock_word(const std::u32string& cps) {
  std::size_t i = 0;
  while (i < cps.size()) {
    if (!is_word_letter(cps[i])) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < cps.size() && is_word_letter(cps[j])) ++j;
    if (j - i >= 2 && text::is_lowercase(cps[i])) {
      bool rest_upper = true;
      for (std::size_t k = i + 1; k < j && rest_upper; ++k) rest_upper = text::is_uppercase(cps[k]);
      if (rest_upper) return true;
    }
    i = j;
  }
  return false;
}

}  // namespace

// A pause of the engine thread that still answers its window's messages: a program that
// asks the clipboard's owner for something (to empty the clipboard, or to read a text the
// engine renders on request) must not wait for the pause to end.
void pause_answering(Desktop& d, std::chrono::milliseconds span) {
  const auto end = d.now() + span;
  for (;;) {
    d.pump_messages();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - d.now());
    if (left.count() <= 0) return;
    if (d.wait_for_event_or_message(0, left) == WaitResult::Failed) {
      d.sleep_ms(static_cast<std::uint32_t>(left.count()));
      return;
    }
  }
}

bool open_clipboard_with_retry(Desktop& d, WindowHandle owner) {
  for (int attempt = 0; attempt < open_attempts; ++attempt) {
    if (d.open_clipboard(owner)) return true;
    pause_answering(d, std::chrono::milliseconds(open_retry_ms));
  }
  return false;
}

std::optional<std::vector<ClipboardItem>> save_clipboard(Desktop& d, WindowHandle owner) {
  if (!open_clipboard_with_retry(d, owner)) return std::nullopt;
  std::vector<ClipboardItem> saved;
  for (std::uint32_t f = d.enum_clipboard_formats(0); f != 0; f = d.enum_clipboard_formats(f)) {
    if (unsaved_format(f)) continue;
    const std::optional<std::size_t> size = d.clipboard_data_size(f);
    if (!size || *size == 0 || *size > max_saved_block) continue;
    std::optional<std::vector<std::uint8_t>> bytes = d.clipboard_data(f);
    if (!bytes) continue;
    saved.push_back(ClipboardItem{f, std::move(*bytes)});
  }
  d.close_clipboard();
  return saved;
}

void mark_as_private(Desktop& d, const std::vector<ClipboardItem>& already) {
  static constexpr std::uint8_t dword_zero[4] = {0, 0, 0, 0};
  for (std::string_view name : private_clipboard_formats) {
    const std::uint32_t f = d.register_clipboard_format(name);
    if (f == 0) continue;
    if (std::any_of(already.begin(), already.end(), [&](const ClipboardItem& i) { return i.format == f; })) continue;
    d.set_clipboard_data(f, dword_zero);
  }
}

void restore_clipboard(Desktop& d, WindowHandle owner, const std::vector<ClipboardItem>& saved) {
  if (!open_clipboard_with_retry(d, owner)) return;
  d.empty_clipboard();
  for (const ClipboardItem& item : saved) d.set_clipboard_data(item.format, item.bytes);
  // The user's own text coming back is no new copy for a clipboard history to keep.
  if (!saved.empty()) mark_as_private(d, saved);
  d.close_clipboard();
}

void answer_clipboard_request(Desktop& d, ClipboardOffer& offer, ClipboardRequest request, std::uint32_t format) {
  switch (request) {
    case ClipboardRequest::RenderFormat:
      if (!offer.owed || format != win::CF_UNICODETEXT) return;
      d.set_clipboard_data(win::CF_UNICODETEXT, offer.block);
      offer.owed = false;
      offer.rendered = true;
      return;
    case ClipboardRequest::RenderAllFormats:
      if (!offer.owed) return;
      if (d.open_clipboard(offer.owner)) {
        d.set_clipboard_data(win::CF_UNICODETEXT, offer.block);
        d.close_clipboard();
      }
      offer.owed = false;
      return;
    case ClipboardRequest::Destroyed:
      if (!offer.owned) return;
      offer.owned = false;
      offer.owed = false;
      offer.lost = true;
      return;
  }
}

SelectionResult convert_selected_text(std::string_view utf8) {
  std::u32string cps;
  cps.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    const text::Utf8Step step = text::decode_utf8_at(utf8, pos);
    cps.push_back(step.valid ? step.cp : text::replacement_char);
    pos += step.length;
  }
  std::size_t upper = 0, lower = 0;
  for (char32_t c : cps) {
    if (text::is_uppercase(c)) ++upper;
    if (text::is_lowercase(c)) ++lower;
  }
  if (upper > lower && has_caps_lock_word(cps)) {
    SelectionResult r;
    r.kind = SelectionKind::CaseRepair;
    r.text.reserve(utf8.size());
    for (char32_t c : cps) r.text += swap_case(c);
    return r;
  }
  ConvertedText converted = convert_text(utf8);
  SelectionResult r;
  r.kind = SelectionKind::LayoutConversion;
  r.text = std::move(converted.text);
  r.target = converted.target;
  return r;
}

namespace {

// Puts the converted text on the clipboard, to be rendered when the paste asks for it, marked
// so that clipboard histories and monitors leave it alone.
bool offer_text(Desktop& d, WindowHandle owner, ClipboardOffer& offer, std::string_view utf8) {
  if (!open_clipboard_with_retry(d, owner)) return false;
  d.empty_clipboard();
  offer = ClipboardOffer{owner, block_of(utf8), true, true, false, false};
  const bool set = d.set_clipboard_data_on_request(win::CF_UNICODETEXT);
  if (set) mark_as_private(d, {});
  d.close_clipboard();
  if (!set) offer = ClipboardOffer{};
  return set;
}

}  // namespace

void convert_selection(Engine& e) {
  Desktop& d = e.desktop;
  const WindowHandle owner = e.clipboard_window;
  clear_word(e);
  release_modifiers(d, e.rt);
  // Without an owner window EmptyClipboard leaves the clipboard ownerless and every
  // SetClipboardData fails: the conversion could not write its text, and the restore would
  // empty the user's clipboard for good. Leave the clipboard alone instead.
  if (owner == 0) return;

  // Without a copy of the user's clipboard it could not be put back: touch nothing.
  const std::optional<std::vector<ClipboardItem>> saved = save_clipboard(d, owner);
  if (!saved) return;
  const std::uint32_t before = d.clipboard_sequence_number();
  send_copy_chord(d, e.rt);
  const auto chord_time = d.now();
  while (d.clipboard_sequence_number() == before) {
    // Nothing was copied: leave the clipboard as the copy found it.
    if (d.now() - chord_time > copy_wait) return;
    pause_answering(d, std::chrono::milliseconds(copy_poll_ms));
  }
  pause_answering(d, std::chrono::milliseconds(copy_settle_ms));

  if (!open_clipboard_with_retry(d, owner)) {
    restore_clipboard(d, owner, *saved);
    return;
  }
  const std::optional<std::vector<std::uint8_t>> block = d.clipboard_data(win::CF_UNICODETEXT);
  if (!block) {
    d.close_clipboard();
    restore_clipboard(d, owner, *saved);
    return;
  }
  const std::string selected = block_text(*block);
  d.close_clipboard();
  if (selected.empty()) {
    restore_clipboard(d, owner, *saved);
    return;
  }

  const SelectionResult result = convert_selected_text(selected);

  // The paste must find the converted text: without it on the clipboard there is nothing to
  // paste (the copied selection would only replace itself).
  ClipboardOffer& offer = *e.clipboard_offer;
  if (!offer_text(d, owner, offer, result.text)) {
    restore_clipboard(d, owner, *saved);
    return;
  }
  send_paste_chord(d, e.rt);
  // The user's clipboard goes back only once the paste has read the converted text: put back
  // earlier, a slow paste would paste it instead, over the selection.
  const auto paste_time = d.now();
  for (;;) {
    d.pump_messages();
    if (offer.rendered || offer.lost) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(paste_wait - (d.now() - paste_time));
    if (left.count() <= 0) break;
    if (d.wait_for_event_or_message(0, left) == WaitResult::Failed) d.sleep_ms(copy_poll_ms);
  }
  const bool pasted = offer.rendered;
  const bool lost = offer.lost;
  // Our own EmptyClipboard below is no loss.
  offer = ClipboardOffer{};
  // Another program took the clipboard meanwhile: what it put there is the user's now.
  if (!lost) restore_clipboard(d, owner, *saved);
  if (!pasted) return;

  if (result.kind == SelectionKind::CaseRepair)
    turn_caps_lock_off(d, e.rt);
  else
    request_layout(d, result.target);
}

}  // namespace klavix
