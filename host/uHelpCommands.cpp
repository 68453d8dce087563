// The Help menu's shell commands and the check for a new version.
//
// The check reads a short text over HTTP on a thread of its own. Only that
// thread waits on the network; what it found is handed to a message-only
// window of the main thread, which shows the answer and enables the menu
// item again. At exit the window goes and the thread's answer is dropped:
// from then on nothing of the check touches a window.
#include <windows.h>
#include <shellapi.h>
#include <wininet.h>

#include <memory>
#include <mutex>
#include <string>

#include "Host.h"
#include "OVMsgBox.h"
#include "RegistryStorage.h"
#include "uMainExtras.h"
#include "uSettings.h"

namespace {

const char kSupportMail[] = "support@orvane.example";
const char kHomePage[] = "http://www.orvane.example/";
// The version document and how long the check waits for it. Both can be
// replaced through values of the settings key that Preferences does not
// show ("VersionURL", "VersionTimeout" in milliseconds).
const char kVersionURL[] = "http://www.orvane.example/version.txt";
constexpr DWORD kVersionTimeoutMs = 20000;
constexpr size_t kMaxVersionText = 1024;

constexpr UINT WM_VERSIONDONE = WM_APP + 17;
const char kNotifyClass[] = "OVVersionCheckNotify";

struct TCheck {
  HWND owner = nullptr;
  HMENU menu = nullptr;
  UINT itemId = 0;
  unsigned generation = 0;
  std::string url;
  DWORD timeoutMs = 0;
  bool ok = false;
  std::string text;
};

std::mutex g_lock;
HWND g_notify = nullptr;       // main thread's message-only window
unsigned g_generation = 0;     // a cancel starts a new one
bool g_running = false;

void ShellOpen(HWND owner, const std::string& what, int show) {
  ShellExecuteA(owner, "open", what.c_str(), nullptr, nullptr, show);
}

bool ReadSetting(const char* name, DWORD type, void* data, DWORD size) {
  TRegLocation loc = RegistryLocation(HKEY_CURRENT_USER, kSettingsKey);
  HKEY key;
  if (RegOpenKeyExA(loc.Root, loc.Path.c_str(), 0, KEY_READ | loc.View, &key) != ERROR_SUCCESS) return false;
  DWORD got = 0;
  LONG rc = RegQueryValueExA(key, name, nullptr, &got, static_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && got == type;
}

// Sets a timeout on a handle: wininet wants the value in a DWORD.
void SetTimeout(HINTERNET h, DWORD option, DWORD ms) {
  InternetSetOptionA(h, option, &ms, sizeof ms);
}

// The version text: status 200 and at most kMaxVersionText bytes, or false.
bool Fetch(const std::string& url, DWORD timeoutMs, std::string* text) {
  HINTERNET net = InternetOpenA("Orvane 1.4", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!net) return false;
  SetTimeout(net, INTERNET_OPTION_CONNECT_TIMEOUT, timeoutMs);
  SetTimeout(net, INTERNET_OPTION_SEND_TIMEOUT, timeoutMs);
  SetTimeout(net, INTERNET_OPTION_RECEIVE_TIMEOUT, timeoutMs);
  bool ok = false;
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTH;
  if (HINTERNET req = InternetOpenUrlA(net, url.c_str(), nullptr, 0, flags, 0)) {
    DWORD status = 0, len = sizeof status;
    if (HttpQueryInfoA(req, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len, nullptr) &&
        status == 200) {
      std::string body;
      char buf[512];
      DWORD got = 0;
      bool readOk = true;
      // One byte beyond the limit tells a longer document.
      while (body.size() <= kMaxVersionText) {
        if (!InternetReadFile(req, buf, sizeof buf, &got)) {
          readOk = false;
          break;
        }
        if (got == 0) break;
        body.append(buf, got);
      }
      if (readOk && body.size() <= kMaxVersionText) {
        *text = body;
        ok = true;
      }
    }
    InternetCloseHandle(req);
  }
  InternetCloseHandle(net);
  return ok;
}

void ShowAnswer(TCheck* c) {
  HWND owner = IsWindow(c->owner) ? c->owner : nullptr;
  if (!c->ok) {
    OVMessageBox(owner, "Check for new version failed.", "OV: Check for new version",
                 MB_OK | MB_ICONSTOP | MB_TOPMOST);
    return;
  }
  int answer = OVMessageBox(owner,
                            "Available version of Orvane: " + c->text + "\r\nDo you wish open Web page?",
                            "Orvane", MB_YESNO | MB_ICONEXCLAMATION | MB_TOPMOST);
  bool current;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    current = c->generation == g_generation;
  }
  if (answer == IDYES && current) OpenWebPage(owner);
}

LRESULT CALLBACK NotifyProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_VERSIONDONE) return DefWindowProcA(wnd, msg, wp, lp);
  TCheck* c = reinterpret_cast<TCheck*>(lp);
  ShowAnswer(c);
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (c->generation == g_generation) {
      // The box may have outlived the menu: it is touched only while the
      // check is still this run's.
      if (c->menu && IsMenu(c->menu)) EnableMenuItem(c->menu, c->itemId, MF_BYCOMMAND | MF_ENABLED);
      g_running = false;
    }
  }
  delete c;
  return 0;
}

// One read of the document; it owns a share of its record, so that a read
// that outlives its wait ends on its own.
struct TFetch {
  std::string url;
  DWORD timeoutMs = 0;
  bool ok = false;
  std::string text;
};

DWORD WINAPI FetchThread(void* arg) {
  auto* f = static_cast<std::shared_ptr<TFetch>*>(arg);
  std::string text;
  bool ok = Fetch((*f)->url, (*f)->timeoutMs, &text);
  (*f)->text = text;
  (*f)->ok = ok;
  delete f;
  return 0;
}

// The read on a thread of its own, waited for a bounded time: wininet does
// not always keep its own timeouts against a server that accepts the
// connection and then stays silent. A read given up is left to end by
// itself and counts as a failure.
bool FetchBounded(const std::string& url, DWORD timeoutMs, std::string* text) {
  auto f = std::make_shared<TFetch>();
  f->url = url;
  f->timeoutMs = timeoutMs;
  auto* share = new std::shared_ptr<TFetch>(f);
  HANDLE t = CreateThread(nullptr, 0, FetchThread, share, 0, nullptr);
  if (!t) {
    delete share;
    return false;
  }
  // The read's own timeouts cover connecting, sending and receiving.
  bool done = WaitForSingleObject(t, timeoutMs + timeoutMs / 2 + 1000) == WAIT_OBJECT_0;
  CloseHandle(t);
  if (!done || !f->ok) return false;
  *text = f->text;
  return true;
}

DWORD WINAPI CheckThread(void* arg) {
  TCheck* c = static_cast<TCheck*>(arg);
  c->ok = FetchBounded(c->url, c->timeoutMs, &c->text);
  bool posted = false;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (c->generation == g_generation && g_notify)
      posted = PostMessageA(g_notify, WM_VERSIONDONE, 0, reinterpret_cast<LPARAM>(c)) != 0;
    if (!posted && c->generation == g_generation) g_running = false;
  }
  if (!posted) delete c;
  return 0;
}

HWND NotifyWindow() {
  if (g_notify) return g_notify;
  WNDCLASSA wc{};
  wc.lpfnWndProc = NotifyProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kNotifyClass;
  RegisterClassA(&wc);
  g_notify = CreateWindowExA(0, kNotifyClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  return g_notify;
}

}  // namespace

void OpenUserManual(HWND owner) { ShellOpen(owner, ProgramDir() + "Help\\Manual.htm", SW_SHOWMAXIMIZED); }

void OpenSupportMail(HWND owner) {
  ShellOpen(owner, std::string("mailto:") + kSupportMail + "?subject=Orvane%201.4", SW_SHOWNORMAL);
}

void OpenWebPage(HWND owner) { ShellOpen(owner, kHomePage, SW_SHOWMAXIMIZED); }

std::string VersionCheckURL() {
  char url[2048] = "";
  if (ReadSetting("VersionURL", REG_SZ, url, sizeof url - 1) && url[0]) return url;
  return kVersionURL;
}

void StartVersionCheck(HWND owner, HMENU menu, UINT itemId) {
  auto* c = new TCheck;
  c->owner = owner;
  c->menu = menu;
  c->itemId = itemId;
  c->url = VersionCheckURL();
  c->timeoutMs = kVersionTimeoutMs;
  DWORD ms = 0;
  if (ReadSetting("VersionTimeout", REG_DWORD, &ms, sizeof ms) && ms > 0) c->timeoutMs = ms;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_running || !NotifyWindow()) {
      delete c;
      return;
    }
    g_running = true;
    c->generation = g_generation;
  }
  if (menu) EnableMenuItem(menu, itemId, MF_BYCOMMAND | MF_GRAYED);
  HANDLE t = CreateThread(nullptr, 0, CheckThread, c, 0, nullptr);
  if (t) {
    CloseHandle(t);
    return;
  }
  {
    std::lock_guard<std::mutex> hold(g_lock);
    g_running = false;
  }
  if (menu) EnableMenuItem(menu, itemId, MF_BYCOMMAND | MF_ENABLED);
  delete c;
  OVMessageBox(owner, "Check for new version failed.", "OV: Check for new version", MB_OK | MB_ICONSTOP | MB_TOPMOST);
}

void CancelVersionCheck() {
  HWND wnd;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    ++g_generation;
    g_running = false;
    wnd = g_notify;
    g_notify = nullptr;
  }
  if (wnd) DestroyWindow(wnd);
}
