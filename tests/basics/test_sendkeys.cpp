// The key language of "Send Keys" as key events, and the sender typing
// into real windows of this test.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <set>
#include <string>

#include "SendKeys.h"
#include "ShortCut.h"
#include "TestUtil.h"

namespace {

// A US-like layout without ")" and "é" (Wine's own table lacks the
// parentheses).
int16_t TestLayout(char c) {
  if (c >= 'a' && c <= 'z') return static_cast<int16_t>(c - 'a' + 'A');
  if (c >= 'A' && c <= 'Z') return static_cast<int16_t>(0x100 | c);
  if (c >= '0' && c <= '9') return c;
  static const std::map<char, int16_t> other = {
      {' ', 0x20}, {'!', 0x131}, {',', 0xBC}, {':', 0x1BA}, {'{', 0x1DB}, {'}', 0x1DD}, {'+', 0x1BB},
      {'=', 0xBB}, {'(', 0x139}, {'@', 0x632}};
  auto it = other.find(c);
  return it == other.end() ? int16_t(-1) : it->second;
}

std::string KeyText(const TKeyEvent& e) {
  static const std::map<int, std::string> names = {
      {VK_SHIFT, "SHIFT"}, {VK_CONTROL, "CTRL"}, {VK_MENU, "ALT"}, {VK_RETURN, "ENTER"}, {VK_TAB, "TAB"},
      {VK_LEFT, "LEFT"},   {VK_DELETE, "DEL"},   {VK_BACK, "BS"},  {VK_NUMLOCK, "NUMLOCK"}, {0xBB, "="},
      {0xDB, "["},         {0xDD, "]"},          {VK_F4, "F4"},    {VK_F24, "F24"}, {VK_CANCEL, "BREAK"}};
  if (e.Char) return std::string("'") + static_cast<char>(e.Char) + "'";
  auto it = names.find(e.Key);
  std::string s = it != names.end() ? it->second : std::string(1, static_cast<char>(e.Key));
  return e.Extended ? s + "*" : s;
}

// The events after the three releases every text starts with, "+K" for
// down and "-K" for up.
std::string Events(const std::string& keys) {
  auto events = ParseKeys(keys, TestLayout);
  std::string out;
  for (size_t i = 3; i < events.size(); ++i) {
    const TKeyEvent& e = events[i];
    std::string item;
    switch (e.Kind) {
      case TKeyEvent::Down: item = "+" + KeyText(e); break;
      case TKeyEvent::Up: item = "-" + KeyText(e); break;
      case TKeyEvent::Delay: item = "D" + std::to_string(e.Ms); break;
      case TKeyEvent::Error: item = "E[" + e.Text + "]"; break;
      case TKeyEvent::Fail: item = "F[" + e.Text + "]"; break;
      case TKeyEvent::Next: continue;
    }
    out += (out.empty() ? "" : " ") + item;
  }
  return out;
}

// Keys still down when the events are over.
std::set<int> HeldAtEnd(const std::string& keys) {
  std::set<int> down;
  for (const TKeyEvent& e : ParseKeys(keys, TestLayout)) {
    if (e.Kind == TKeyEvent::Down) down.insert(e.Key);
    if (e.Kind == TKeyEvent::Up) down.erase(e.Key);
  }
  return down;
}

int Count(const std::vector<TKeyEvent>& events, TKeyEvent::TKind kind, uint8_t key) {
  int n = 0;
  for (const TKeyEvent& e : events) n += e.Kind == kind && e.Key == key;
  return n;
}

}  // namespace

TEST(SendKeysLanguage, TheTableOfExamples) {
  EXPECT_EQ(Events("abc~"), "+A -A +B -B +C -C +ENTER -ENTER");
  EXPECT_EQ(Events("+abc"), "+SHIFT +A -A -SHIFT +B -B +C -C");
  EXPECT_EQ(Events("+(abc)"), "+SHIFT +A -A +B -B +C -C -SHIFT");
  EXPECT_EQ(Events("{TAB 3}"), "+TAB -TAB +TAB -TAB +TAB -TAB");
  EXPECT_EQ(Events("{DELAY 500}"), "D500");
  EXPECT_EQ(Events("{LEFT}{DEL}"), "+LEFT* -LEFT* +DEL* -DEL*");
  EXPECT_EQ(Events("{BKSP}{BS}{backspace}"), "+BS -BS +BS -BS +BS -BS");
  EXPECT_EQ(Events("{FOO}x"), "E[Invalid Key Name: FOO] +X -X");
  EXPECT_EQ(Events("x{TAB"), "+X -X -SHIFT -CTRL -ALT F[Keyname not closed]");
  EXPECT_EQ(Events(JoinKeyLines("ab\r\ncd")), "+A -A +B -B +ENTER -ENTER +C -C +D -D");
  EXPECT_EQ(Events("^%{F4}{BREAK}"), "+CTRL +ALT +F4 -F4 -CTRL -ALT +BREAK -BREAK");
}

TEST(SendKeysLanguage, BracesSignsAndOneCharacterNames) {
  EXPECT_EQ(Events("{{}"), "+SHIFT +[ -[ -SHIFT");
  EXPECT_EQ(Events("{}}"), "+SHIFT +] -] -SHIFT");
  EXPECT_EQ(Events("{+}"), "+SHIFT += -= -SHIFT");
  // The character as written: {a} is a small a, {A} a capital one.
  EXPECT_EQ(Events("{a 3}"), "+A -A +A -A +A -A");
  EXPECT_EQ(Events("{A}"), "+SHIFT +A -A -SHIFT");
  // A key that needs Shift inside a Shift group keeps the group's Shift.
  EXPECT_EQ(Events("+(Ab)"), "+SHIFT +A -A +B -B -SHIFT");
  // Characters the layout has no key for: printable ASCII goes as the
  // character itself, others are refused.
  EXPECT_EQ(Events("{)}"), "+')' -')'");
  EXPECT_EQ(Events("a\xE9" "b"), "+A -A E[Invalid KeyName] +B -B");
  EXPECT_EQ(Events("{\xE9}"), "E[Invalid Key Name: \xE9]");
  EXPECT_EQ(Events("{NUMLOCK}"), "+NUMLOCK* -NUMLOCK*");
  const std::string longName(25, 'X');
  EXPECT_EQ(Events("{" + longName + " 2}z"), "E[Invalid Key Name: " + longName + "] +Z -Z");
  EXPECT_EQ(Events("{}a"), "E[Invalid Key Name: ] +A -A");
}

TEST(SendKeysLanguage, CountsAreCappedAndNegativeCountsAreNone) {
  auto tabs = ParseKeys("{TAB 99999999}", TestLayout);
  EXPECT_EQ(Count(tabs, TKeyEvent::Down, VK_TAB), kMaxKeyRepeat);
  EXPECT_EQ(Events("{DELAY 2000000000}"), "D" + std::to_string(kMaxKeyDelayMs));
  EXPECT_EQ(Events("{TAB -5}x"), "+X -X");
  EXPECT_EQ(Events("{TAB x}"), "+TAB -TAB");
  EXPECT_EQ(Events("{DELAY -1}"), "D0");
}

TEST(SendKeysLanguage, EveryTextEndsWithTheModifiersReleased) {
  for (const char* keys : {"+(ab{TAB", "^(%(x", "+{TAB", "%", "+(^(%(", "+(a{FOO}", "{", "^{TAB 3", "+\xE9"})
    EXPECT_TRUE(HeldAtEnd(keys).empty()) << keys;
  auto events = ParseKeys("+(ab{TAB", TestLayout);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().Kind, TKeyEvent::Fail);
  EXPECT_EQ(events.back().Text, "Keyname not closed");
  EXPECT_EQ(ParseKeys("", TestLayout).back().Kind, TKeyEvent::Fail);
}

TEST(SendKeysLanguage, LinesAndKeyCombinations) {
  EXPECT_EQ(JoinKeyLines("a\r\nb\r\n"), "a~b");
  EXPECT_EQ(JoinKeyLines("a\r\n\r\nb"), "a~~b");
  EXPECT_EQ(JoinKeyLines("a\nb\rc"), "a~b~c");

  EXPECT_EQ(KeyCombinationText(kShortCutCtrl | kShortCutShift | VK_F5), "^(+({F5}))");
  EXPECT_EQ(KeyCombinationText(kShortCutAlt | kShortCutCtrl | kShortCutShift | VK_RETURN), "%(^(+({ENTER})))");
  // A letter goes lower case: "A" would add Shift.
  EXPECT_EQ(KeyCombinationText(kShortCutCtrl | 'A'), "^(a)");
  EXPECT_EQ(KeyCombinationText(VK_NUMPAD5), "5");
  EXPECT_EQ(KeyCombinationText(VK_SPACE), " ");
  EXPECT_EQ(KeyCombinationText(VK_SHIFT), "");
  EXPECT_EQ(KeyCombinationText(kShortCutCtrl | VK_SNAPSHOT), "");
  // Every key the dialog names can be sent back.
  EXPECT_EQ(Events(KeyCombinationText(kShortCutShift | VK_F24)), "+SHIFT +F24 -F24 -SHIFT");
  EXPECT_EQ(Events(KeyCombinationText(kShortCutCtrl | 'A')), "+CTRL +A -A -CTRL");
}

// ------------------------------------------------------------ the sender

namespace {

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

LRESULT CALLBACK TargetProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CREATE)
    CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 300, 200, wnd,
                  reinterpret_cast<HMENU>(1), nullptr, nullptr);
  if (msg == WM_SETFOCUS) SetFocus(GetDlgItem(wnd, 1));
  return DefWindowProcA(wnd, msg, wp, lp);
}

// A visible window with an edit that takes what is typed.
HWND MakeTarget(const std::string& title, int show = SW_SHOWNORMAL) {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "SendKeysTarget";
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  HWND wnd = CreateWindowA("SendKeysTarget", title.c_str(), WS_OVERLAPPEDWINDOW, 50, 50, 320, 240, nullptr,
                           nullptr, nullptr, nullptr);
  ShowWindow(wnd, show);
  // The window system has its say on the new window before keys come.
  for (int i = 0; i < 20; ++i) {
    Pump();
    Sleep(10);
  }
  return wnd;
}

std::string Typed(HWND target) {
  char text[8192] = "";
  GetWindowTextA(GetDlgItem(target, 1), text, sizeof text);
  return text;
}

struct TLogged {
  std::vector<std::string> lines;
  TKeySender::TLog Log() {
    return [this](const std::string& l) { lines.push_back(l); };
  }
};

// Another thread's window takes the front after a while.
DWORD WINAPI Thief(void*) {
  Sleep(150);
  HWND w = CreateWindowA("EDIT", "Thief window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 400, 200, 100, nullptr,
                         nullptr, nullptr, nullptr);
  SetForegroundWindow(w);
  SetFocus(w);
  for (int i = 0; i < 100; ++i) {
    Pump();
    Sleep(10);
  }
  DestroyWindow(w);
  return 0;
}

}  // namespace

TEST(SendKeysSender, AThousandCharactersArriveInOrderAndTheModifiersEndUp) {
  HWND target = MakeTarget("Typing target one");
  HWND other = MakeTarget("Unrelated window");
  Pump();
  std::string text;
  for (int i = 0; i < 1000; ++i) text += static_cast<char>("abcdefghijklmnopqrstuvwxyz0123456789ABC ,"[i % 41]);
  TLogged log;
  TKeySender sender("TYPING target", true, false, true, log.Log());
  EXPECT_TRUE(sender.Send(ParseKeys(text)));
  Pump();
  EXPECT_EQ(Typed(target), text);
  EXPECT_EQ(Typed(other), "");
  EXPECT_TRUE(log.lines.empty());
  for (int key : {VK_SHIFT, VK_CONTROL, VK_MENU}) EXPECT_EQ(GetAsyncKeyState(key) & 0x8000, 0) << key;
  DestroyWindow(target);
  DestroyWindow(other);
}

TEST(SendKeysSender, AMaximisedTargetStaysMaximisedAndAMinimisedOneIsRestored) {
  HWND target = MakeTarget("Maximised target", SW_MAXIMIZE);
  Pump();
  TLogged log;
  EXPECT_TRUE(TKeySender("maximised target", true, false, true, log.Log()).Send(ParseKeys("Hello, World! :{)}")));
  Pump();
  EXPECT_EQ(Typed(target), "Hello, World! :)");
  EXPECT_TRUE(IsZoomed(target));
  ShowWindow(target, SW_MINIMIZE);
  Pump();
  EXPECT_TRUE(TKeySender("Maximised target", false, false, true, log.Log()).Send(ParseKeys("+(x)")));
  Pump();
  EXPECT_FALSE(IsIconic(target));
  EXPECT_EQ(Typed(target), "Hello, World! :)X");
  DestroyWindow(target);
}

TEST(SendKeysSender, AFixedTargetIsTakenBackAfterAnotherWindowTookTheFront) {
  HWND target = MakeTarget("Fixed target");
  Pump();
  HANDLE thief = CreateThread(nullptr, 0, Thief, nullptr, 0, nullptr);
  TLogged log;
  EXPECT_TRUE(TKeySender("Fixed target", true, false, true, log.Log()).Send(ParseKeys("abc{DELAY 600}def")));
  Pump();
  EXPECT_EQ(Typed(target), "abcdef");
  WaitForSingleObject(thief, 5000);
  CloseHandle(thief);
  DestroyWindow(target);
}

TEST(SendKeysSender, NoVisibleMatchSendsNothingAndFails) {
  HWND hidden = MakeTarget("Hidden keys target", SW_HIDE);
  HWND front = MakeTarget("Front window");
  Pump();
  TLogged log;
  EXPECT_FALSE(TKeySender("hidden keys target", true, false, true, log.Log()).Send(ParseKeys("abc")));
  Pump();
  EXPECT_EQ(Typed(hidden), "");
  EXPECT_EQ(Typed(front), "");
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0], "No window found with \"hidden keys target\" in its title: no keys sent");
  // An unclosed name fails after what came before it, with its own line.
  log.lines.clear();
  EXPECT_FALSE(TKeySender("Front window", true, false, true, log.Log()).Send(ParseKeys("+(ab{TAB")));
  Pump();
  EXPECT_EQ(Typed(front), "AB");
  EXPECT_EQ(log.lines, std::vector<std::string>{"Keyname not closed"});
  for (int key : {VK_SHIFT, VK_CONTROL, VK_MENU}) EXPECT_EQ(GetAsyncKeyState(key) & 0x8000, 0) << key;
  DestroyWindow(hidden);
  DestroyWindow(front);
}
