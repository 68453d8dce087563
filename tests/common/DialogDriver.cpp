#include "DialogDriver.h"

#include <commctrl.h>

#include <atomic>

#include "OVDialog.h"

namespace testutil {
namespace {

// One script at a time: the hook hands the ready dialog to it.
std::atomic<HWND> g_ready{nullptr};
HANDLE g_readyEvent = nullptr;

void OnReady(HWND dlg) {
  HWND expected = nullptr;
  if (g_ready.compare_exchange_strong(expected, dlg) && g_readyEvent) SetEvent(g_readyEvent);
}

struct FindCtx {
  DWORD pid;
  const std::string* caption;
  HWND found;
};

BOOL CALLBACK FindDialogProc(HWND wnd, LPARAM lp) {
  auto* c = reinterpret_cast<FindCtx*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid != c->pid) return TRUE;
  char cls[32] = "";
  GetClassNameA(wnd, cls, sizeof cls);
  if (std::string(cls) != "#32770") return TRUE;
  char text[512] = "";
  GetWindowTextA(wnd, text, sizeof text);
  if (*c->caption != text) return TRUE;
  c->found = wnd;
  return FALSE;
}

}  // namespace

TDialogScript::TDialogScript(std::function<void(HWND)> script, int timeoutMs)
    : script_(std::move(script)), timeoutMs_(timeoutMs) {
  g_ready = nullptr;
  if (!g_readyEvent) g_readyEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  ResetEvent(g_readyEvent);
  SetDialogReadyHook(OnReady);
  thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
}

TDialogScript::~TDialogScript() {
  if (thread_) {
    WaitForSingleObject(thread_, static_cast<DWORD>(timeoutMs_) + 5000);
    CloseHandle(thread_);
  }
  SetDialogReadyHook(nullptr);
  g_ready = nullptr;
}

bool TDialogScript::Finished() const {
  // The dialog may close before the script's thread has returned.
  if (thread_) WaitForSingleObject(thread_, static_cast<DWORD>(timeoutMs_) + 5000);
  return finished_ != 0;
}

DWORD WINAPI TDialogScript::ThreadMain(void* p) {
  auto* self = static_cast<TDialogScript*>(p);
  if (WaitForSingleObject(g_readyEvent, static_cast<DWORD>(self->timeoutMs_)) != WAIT_OBJECT_0) return 1;
  HWND dlg = g_ready.load();
  char text[512] = "";
  GetWindowTextA(dlg, text, sizeof text);
  self->caption_ = text;
  self->script_(dlg);
  InterlockedExchange(&self->finished_, 1);
  return 0;
}

HWND FindDialogOf(DWORD pid, const std::string& caption) {
  FindCtx c{pid, &caption, nullptr};
  EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&c));
  return c.found;
}

HWND WaitForDialog(const std::string& caption, int timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND d = FindDialogOf(GetCurrentProcessId(), caption)) return d;
    if (GetTickCount() - start > static_cast<DWORD>(timeoutMs)) return nullptr;
    Sleep(10);
  }
}

void Click(HWND dlg, int id) {
  SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
}

void SetText(HWND dlg, int id, const std::string& text) { SetDlgItemTextA(dlg, id, text.c_str()); }

std::string GetText(HWND dlg, int id) {
  HWND c = GetDlgItem(dlg, id);
  int n = GetWindowTextLengthA(c);
  std::string s(static_cast<size_t>(n > 0 ? n : 0) + 1, '\0');
  int got = GetWindowTextA(c, s.data(), n + 1);
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

void FocusItem(HWND dlg, int id) {
  SendMessageA(dlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dlg, id)), TRUE);
}

namespace {

BOOL CALLBACK CollectStatic(HWND wnd, LPARAM lp) {
  char cls[32] = "";
  GetClassNameA(wnd, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return TRUE;
  char text[4096] = "";
  GetWindowTextA(wnd, text, sizeof text);
  if (!*text) return TRUE;
  auto* out = reinterpret_cast<std::string*>(lp);
  if (!out->empty()) *out += "|";
  *out += text;
  return TRUE;
}

}  // namespace

std::string StaticTexts(HWND wnd) {
  std::string out;
  EnumChildWindows(wnd, CollectStatic, reinterpret_cast<LPARAM>(&out));
  return out;
}

namespace {

struct TFindTips {
  HWND owner, tips = nullptr;
};

BOOL CALLBACK FindTips(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<TFindTips*>(lp);
  char cls[64] = "";
  GetClassNameA(w, cls, sizeof cls);
  if (!lstrcmpiA(cls, TOOLTIPS_CLASSA) && GetWindow(w, GW_OWNER) == f->owner) f->tips = w;
  return f->tips ? FALSE : TRUE;
}

}  // namespace

std::string HintOf(HWND dlg, int id) {
  TFindTips find{dlg};
  EnumThreadWindows(GetWindowThreadProcessId(dlg, nullptr), FindTips, reinterpret_cast<LPARAM>(&find));
  if (!find.tips) return "(no tips)";
  char text[256] = "";
  TTTOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = dlg;
  tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dlg, id));
  tool.lpszText = text;
  SendMessageA(find.tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
  return text;
}

std::string TreeItemText(HWND tv, HTREEITEM item) {
  char buf[1100] = "";
  TVITEMA it{};
  it.mask = TVIF_TEXT;
  it.hItem = item;
  it.pszText = buf;
  it.cchTextMax = sizeof buf;
  SendMessageA(tv, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
  return buf;
}

HTREEITEM FindTreeItem(HWND tv, const std::string& line) {
  auto next = [tv](HTREEITEM i, UINT how) {
    return reinterpret_cast<HTREEITEM>(SendMessageA(tv, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(i)));
  };
  for (HTREEITEM p = next(nullptr, TVGN_ROOT); p; p = next(p, TVGN_NEXT)) {
    if (TreeItemText(tv, p) == line) return p;
    for (HTREEITEM c = next(p, TVGN_CHILD); c; c = next(c, TVGN_NEXT))
      if (TreeItemText(tv, p) + "/" + TreeItemText(tv, c) == line) return c;
  }
  return nullptr;
}

bool PickInTree(const std::string& caption, int treeId, const std::string& line) {
  HWND dlg = WaitForDialog(caption, 5000);
  if (!dlg) return false;
  HWND tv = GetDlgItem(dlg, treeId);
  HTREEITEM item = FindTreeItem(tv, line);
  if (!item) {
    Click(dlg, IDCANCEL);
    return false;
  }
  SendMessageA(tv, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  Click(dlg, IDOK);
  return true;
}

}  // namespace testutil
