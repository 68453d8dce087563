#include "SendKeys.h"

#include <cstdlib>

#include "OVError.h"
#include "ShortCut.h"

namespace {

struct TKeyName {
  const char* Name;
  uint8_t Key;
};

// F17..F24 are named too, so that every key the key-combination dialog
// writes can be sent back.
const TKeyName kKeyNames[] = {
    {"BKSP", 0x08},      {"BS", 0x08},      {"BACKSPACE", 0x08}, {"BREAK", 0x03},     {"CAPSLOCK", 0x14},
    {"CLEAR", 0x0C},     {"DEL", 0x2E},     {"DELETE", 0x2E},    {"DOWN", 0x28},      {"END", 0x23},
    {"ENTER", 0x0D},     {"ESC", 0x1B},     {"ESCAPE", 0x1B},    {"HELP", 0x2F},      {"HOME", 0x24},
    {"INS", 0x2D},       {"LEFT", 0x25},    {"NUMLOCK", 0x90},   {"PGDN", 0x22},      {"PGUP", 0x21},
    {"PRTSC", 0x2A},     {"RIGHT", 0x27},   {"SCROLLLOCK", 0x91}, {"TAB", 0x09},      {"UP", 0x26},
};

const uint8_t kModifierKeys[3] = {VK_SHIFT, VK_CONTROL, VK_MENU};

TKeyEvent Ev(TKeyEvent::TKind kind, uint8_t key = 0, wchar_t ch = 0, uint32_t ms = 0, std::string text = "") {
  TKeyEvent e;
  e.Kind = kind;
  e.Key = key;
  e.Extended = IsExtendedKey(key);
  e.Char = ch;
  e.Ms = ms;
  e.Text = std::move(text);
  return e;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// A repeat count as typed: decimal, 1 when there is none or it is no
// number, negative counts 0, large ones capped.
long long ParseCount(const std::string& text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return 1;
  const char* start = text.c_str() + b;
  char* end = nullptr;
  long long n = std::strtoll(start, &end, 10);
  if (end == start) return 1;
  return n < 0 ? 0 : n;
}

class TParser {
 public:
  explicit TParser(const TLayoutLookup& layout) : layout_(layout) {}

  std::vector<TKeyEvent> Run(const std::string& keys) {
    for (uint8_t k : kModifierKeys) Key(TKeyEvent::Up, k);
    if (keys.empty()) return Fail("No keys to send");
    for (size_t i = 0; i < keys.size(); ++i) {
      Add(Ev(TKeyEvent::Next));
      char c = keys[i];
      switch (c) {
        case '+': Hold(0); break;
        case '^': Hold(1); break;
        case '%': Hold(2); break;
        case '(': group_ = true; break;
        case ')':
          group_ = false;
          ReleaseHeld();
          break;
        case '~':
          Key(TKeyEvent::Down, VK_RETURN);
          Key(TKeyEvent::Up, VK_RETURN);
          EndOfKey();
          break;
        case '{':
          if (keys.compare(i, 3, "{{}") == 0 || keys.compare(i, 3, "{}}") == 0) {
            if (TypeChar(keys[i + 1], 1)) EndOfKey();
            i += 2;
            break;
          } else {
            size_t close = keys.find('}', i + 1);
            if (close == std::string::npos) return Fail("Keyname not closed");
            Named(keys.substr(i + 1, close - i - 1));
            i = close;
          }
          break;
        default:
          if (TypeChar(c, 1))
            EndOfKey();
          else
            Error("Invalid KeyName");
          break;
      }
    }
    ReleaseHeld();
    return std::move(events_);
  }

 private:
  void Add(TKeyEvent e) { events_.push_back(std::move(e)); }
  void Key(TKeyEvent::TKind kind, uint8_t key) {
    Add(Ev(kind, key));
  }
  void Error(const std::string& text) { Add(Ev(TKeyEvent::Error, 0, 0, 0, text)); }

  std::vector<TKeyEvent> Fail(const std::string& text) {
    // Whatever was held, the user's keyboard is left as it was found.
    for (uint8_t k : kModifierKeys) Key(TKeyEvent::Up, k);
    held_[0] = held_[1] = held_[2] = false;
    Add(Ev(TKeyEvent::Fail, 0, 0, 0, text));
    return std::move(events_);
  }

  void Hold(int m) {
    Key(TKeyEvent::Down, kModifierKeys[m]);
    held_[m] = true;
  }

  void ReleaseHeld() {
    for (int m = 0; m < 3; ++m)
      if (held_[m]) {
        Key(TKeyEvent::Up, kModifierKeys[m]);
        held_[m] = false;
      }
  }

  void EndOfKey() {
    if (!group_) ReleaseHeld();
  }

  // {NAME count}
  void Named(const std::string& inner) {
    size_t blank = inner.find(' ');
    std::string name = inner.substr(0, blank);
    long long count = blank == std::string::npos ? 1 : ParseCount(inner.substr(blank + 1));
    std::string upper = Upper(name);
    if (name.size() > kMaxKeyName) {
      Error("Invalid Key Name: " + upper);
      return;
    }
    if (upper == "DELAY") {
      Add(Ev(TKeyEvent::Delay, 0, 0, static_cast<uint32_t>(count > kMaxKeyDelayMs ? kMaxKeyDelayMs : count)));
      return;
    }
    int times = static_cast<int>(count > kMaxKeyRepeat ? kMaxKeyRepeat : count);
    // One character stands for itself as written: {a} types "a".
    if (name.size() == 1) {
      if (TypeChar(name[0], times))
        EndOfKey();
      else
        Error("Invalid Key Name: " + upper);
      return;
    }
    uint8_t key = KeyOfName(upper);
    if (!key) {
      Error("Invalid Key Name: " + upper);
      return;
    }
    Send(key, 0, times, 0);
    EndOfKey();
  }

  bool TypeChar(char c, int times) {
    int16_t scan = layout_ ? layout_(c) : -1;
    if (scan != -1 && (scan & 0xFF) != 0xFF) {
      Send(static_cast<uint8_t>(scan & 0xFF), static_cast<uint8_t>((scan >> 8) & 7), times, 0);
      return true;
    }
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) return false;
    Send(0, 0, times, static_cast<wchar_t>(u));
    return true;
  }

  // The key with its own shift state; modifiers that the text already
  // holds stay held.
  void Send(uint8_t key, uint8_t shiftState, int times, wchar_t ch) {
    bool pressed[3] = {false, false, false};
    for (int m = 0; m < 3; ++m)
      if ((shiftState & (1 << m)) && !held_[m]) {
        Key(TKeyEvent::Down, kModifierKeys[m]);
        pressed[m] = true;
      }
    for (int n = 0; n < times; ++n) {
      for (auto kind : {TKeyEvent::Down, TKeyEvent::Up}) {
        if (ch)
          Add(Ev(kind, 0, ch));
        else
          Key(kind, key);
      }
    }
    for (int m = 2; m >= 0; --m)
      if (pressed[m]) Key(TKeyEvent::Up, kModifierKeys[m]);
  }

  const TLayoutLookup& layout_;
  std::vector<TKeyEvent> events_;
  bool held_[3] = {false, false, false};
  bool group_ = false;
};

std::string LowerTitle(std::string s) {
  if (!s.empty()) CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

constexpr UINT kMessageTimeoutMs = 2000;

bool SendWithTimeout(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(wnd, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, kMessageTimeoutMs, &result) != 0;
}

}  // namespace

int16_t SystemLayoutLookup(char c) { return VkKeyScanA(c); }

std::vector<TKeyEvent> ParseKeys(const std::string& keys, const TLayoutLookup& layout) {
  return TParser(layout).Run(keys);
}

uint8_t KeyOfName(const std::string& name) {
  for (const TKeyName& k : kKeyNames)
    if (name == k.Name) return k.Key;
  if (name.size() >= 2 && name.size() <= 3 && name[0] == 'F') {
    char* end = nullptr;
    long n = std::strtol(name.c_str() + 1, &end, 10);
    if (*end == 0 && name[1] != '0' && n >= 1 && n <= 24) return static_cast<uint8_t>(VK_F1 + n - 1);
  }
  return 0;
}

bool IsExtendedKey(uint8_t key) {
  return (key >= 0x21 && key <= 0x28) || key == 0x2D || key == 0x2E || key == VK_NUMLOCK;
}

std::string JoinKeyLines(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      // A break at the very end closes the last line and starts none.
      if (i + 1 < text.size()) out += '~';
    } else {
      out += c;
    }
  }
  return out;
}

std::string KeyCombinationText(uint16_t shortCut) {
  uint8_t key = ShortCutKey(shortCut);
  std::string name;
  switch (key) {
    case 0x08: name = "BACKSPACE"; break;
    case 0x09: name = "TAB"; break;
    case 0x0D: name = "ENTER"; break;
    case 0x1B: name = "ESCAPE"; break;
    case 0x20: name = " "; break;
    case 0x21: name = "PGUP"; break;
    case 0x22: name = "PGDN"; break;
    case 0x23: name = "END"; break;
    case 0x24: name = "HOME"; break;
    case 0x25: name = "LEFT"; break;
    case 0x26: name = "UP"; break;
    case 0x27: name = "RIGHT"; break;
    case 0x28: name = "DOWN"; break;
    case 0x2D: name = "INS"; break;
    case 0x2E: name = "DELETE"; break;
    default:
      // A letter in lower case: an upper-case one would add Shift.
      if (key >= '0' && key <= '9') name = std::string(1, static_cast<char>(key));
      else if (key >= 'A' && key <= 'Z') name = std::string(1, static_cast<char>(key - 'A' + 'a'));
      else if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) name = std::string(1, static_cast<char>('0' + key - VK_NUMPAD0));
      else if (key >= VK_F1 && key <= VK_F24) name = "F" + std::to_string(key - VK_F1 + 1);
      break;
  }
  if (name.empty()) return "";
  if (name.size() > 1) name = "{" + name + "}";
  if (shortCut & kShortCutShift) name = "+(" + name + ")";
  if (shortCut & kShortCutCtrl) name = "^(" + name + ")";
  if (shortCut & kShortCutAlt) name = "%(" + name + ")";
  return name;
}

// ------------------------------------------------------------ TKeySender

TKeySender::TKeySender(std::string caption, bool fixed, bool exact, bool wait, TLog log)
    : caption_(std::move(caption)), fixed_(fixed), exact_(exact), wait_(wait), log_(std::move(log)) {}

TKeySender::~TKeySender() { ReleaseModifiers(); }

HWND TKeySender::FindTarget(const std::string& caption, bool exact) {
  const std::string part = LowerTitle(caption);
  HWND wnd = GetTopWindow(nullptr);
  for (int n = 0; wnd && n < 1000; ++n, wnd = GetWindow(wnd, GW_HWNDNEXT)) {
    if (!IsWindowVisible(wnd)) continue;
    char title[256] = "";
    GetWindowTextA(wnd, title, sizeof title);
    std::string lower = LowerTitle(title);
    if (exact ? lower == part : lower.find(part) != std::string::npos) return wnd;
  }
  return nullptr;
}

bool TKeySender::TargetStillInFront() {
  if (!target_ || !IsWindow(target_) || !IsWindowVisible(target_)) return false;
  HWND fg = GetForegroundWindow();
  return fg == target_ || (fg && GetAncestor(fg, GA_ROOTOWNER) == target_);
}

bool TKeySender::Activate(bool first) {
  HWND wnd = FindTarget(caption_, exact_);
  if (!wnd) {
    log_(Format("No window found with \"%s\" in its title: no keys sent", caption_.c_str()));
    return false;
  }
  target_ = wnd;
  const bool wasInFront = TargetStillInFront();
  if (IsIconic(wnd)) SendWithTimeout(wnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  if (wasInFront && !IsIconic(wnd)) {
    // A window that has only just come up may still be taking the front.
    if (first) Settle();
    return true;
  }
  SendWithTimeout(wnd, WM_SYSCOMMAND, SC_HOTKEY, reinterpret_cast<LPARAM>(wnd));
  // The system command alone does not bring a window forward everywhere.
  for (int tries = 0; tries < 50; ++tries) {
    if (!TargetStillInFront()) SetForegroundWindow(wnd);
    if (TargetStillInFront()) {
      Settle();
      return true;
    }
    Sleep(10);
  }
  log_(Format("Cannot bring the window \"%s\" to the front: no keys sent", caption_.c_str()));
  return false;
}

// A window that has just come to the front first takes in the news (the
// system may set its keyboard state afresh then, dropping a Shift that was
// pressed meanwhile).
void TKeySender::Settle() {
  constexpr DWORD kSettleMs = 100;
  ULONGLONG end = GetTickCount64() + kSettleMs;
  const bool ours = GetWindowThreadProcessId(target_, nullptr) == GetCurrentThreadId();
  do {
    if (ours) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          PostQuitMessage(static_cast<int>(msg.wParam));
          return;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    } else {
      SendWithTimeout(target_, WM_NULL, 0, 0);
    }
    Sleep(10);
  } while (GetTickCount64() < end);
}

void TKeySender::Press(uint8_t key, bool down, bool extended, wchar_t ch) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  if (ch) {
    in.ki.wScan = ch;
    in.ki.dwFlags = KEYEVENTF_UNICODE;
  } else {
    in.ki.wVk = key;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
    if (extended) in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  }
  if (!down) in.ki.dwFlags |= KEYEVENTF_KEYUP;
  SendInput(1, &in, sizeof in);
  for (int m = 0; m < 3; ++m)
    if (!ch && key == kModifierKeys[m]) held_[m] = down;
  if (wait_) Pump();
}

void TKeySender::ReleaseModifiers() {
  for (int m = 0; m < 3; ++m)
    if (held_[m]) Press(kModifierKeys[m], false, false, 0);
}

// Waiting for processing: this thread's keyboard messages are handled at
// once, and a window of another thread is waited for (within a time
// limit) until it takes messages again.
void TKeySender::Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  HWND wnd = target_ ? target_ : GetForegroundWindow();
  if (wnd && GetWindowThreadProcessId(wnd, nullptr) != GetCurrentThreadId()) SendWithTimeout(wnd, WM_NULL, 0, 0);
}

// Messages sent to this thread's windows are served meanwhile, so that
// another thread that changes the active window is not held up.
void TKeySender::Wait(uint32_t ms) {
  ULONGLONG end = GetTickCount64() + ms;
  for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_SENDMESSAGE);
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

bool TKeySender::Send(const std::vector<TKeyEvent>& events) {
  const bool byCaption = !caption_.empty();
  if (byCaption && !Activate(true)) return false;
  for (const TKeyEvent& e : events) {
    switch (e.Kind) {
      case TKeyEvent::Next:
        if (byCaption && fixed_ && !TargetStillInFront() && !Activate(false)) {
          ReleaseModifiers();
          return false;
        }
        break;
      case TKeyEvent::Down:
      case TKeyEvent::Up:
        Press(e.Key, e.Kind == TKeyEvent::Down, e.Extended, e.Char);
        break;
      case TKeyEvent::Delay:
        Wait(e.Ms);
        break;
      case TKeyEvent::Error:
        log_(e.Text);
        break;
      case TKeyEvent::Fail:
        ReleaseModifiers();
        if (!e.Text.empty()) log_(e.Text);
        return false;
    }
  }
  ReleaseModifiers();
  return true;
}
