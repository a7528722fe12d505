// Keys typed while the window shows a third layout (German, Ukrainian, ...): the key table
// cannot say what they show, so they are never converted automatically and never typed again
// by guesswork; the program must go on working around them.
#include "engine_fixture.h"

namespace klavix::testing {
namespace {

class ThirdLayout : public EngineDesk {};

TEST_F(ThirdLayout, WhatTheUserGets) {
  struct Case {
    const char* name;
    std::function<void(ThirdLayout&)> script;
    const char* expected;  // what the window shows
    std::vector<Layout> requests;
  };
  const std::vector<Case> cases = {
      {"a switch to a third layout before the space leaves the word and the layout alone",
       [](ThirdLayout& t) {
         t.type_keys("ghbdtn");
         t.set_layout(layout_de);
         t.type_keys(" ");
       },
       "ghbdtn ", {}},
      {"switched back before the space, the word is corrected",
       [](ThirdLayout& t) {
         t.type_keys("ghbdtn");
         t.set_layout(layout_de);
         t.set_layout(layout_en_us);
         t.type_keys(" ");
       },
       "привет ", {Layout::Ru}},
      {"a word with keys of a third layout inside stays",
       [](ThirdLayout& t) {
         t.type_keys("gh");
         t.set_layout(layout_de);
         t.type_keys("bd");
         t.set_layout(layout_en_us);
         t.type_keys("tn ");
       },
       "ghbdtn ", {}},
      {"the hotkey converts a word whose first key was typed in a third layout",
       [](ThirdLayout& t) {
         t.set_layout(layout_de);
         t.type_keys("n k");
         t.hotkey_word();  // a word of the third layout: only the switch, to Russian
         t.hotkey_word();  // and back to English
         t.type_keys("tkf");
         t.hotkey_word();
         t.type_keys("n");
       },
       "n лелат", {Layout::Ru, Layout::En, Layout::Ru}},
      {"an undo over a space typed in a third layout",
       [](ThirdLayout& t) {
         t.type_keys("ghbdtn ");
         t.set_layout(layout_de);
         t.type_keys(" ");
         t.set_layout(layout_en_us);
         t.hotkey_word();
       },
       "ghbdtn  ", {Layout::Ru, Layout::En}},
      {"in a window that shows a third layout the hotkey only switches it",
       [](ThirdLayout& t) {
         t.type_keys("ghbdtn");
         t.set_layout(layout_de);
         t.hotkey_word();
       },
       "ghbdtn", {Layout::Ru}},
  };
  desk.install_layout(layout_de);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window = desk.create_window();
    desk.clear_calls();
    c.script(*this);
    EXPECT_EQ(shown(), c.expected);
    EXPECT_EQ(requested(), c.requests);
  }
}

}  // namespace
}  // namespace klavix::testing
