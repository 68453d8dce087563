#include "OVDialog.h"

#include <commctrl.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OVMsgBox.h"
#include "SehGuard.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

std::atomic<TDialogReadyHook> g_hook{nullptr};
std::atomic<HWND> g_defaultOwner{nullptr};

// Every module carries its own copy of this code, so the hook is also
// published in a small named mapping that only this process knows by name:
// dialogs of plug-in libraries find the hook a test program installed.
std::string HookSlotName() {
  char name[64];
  std::snprintf(name, sizeof name, "OVDialogReadyHook.%lu", GetCurrentProcessId());
  return name;
}

HANDLE g_hookSlot = nullptr;

void PublishHook(TDialogReadyHook hook) {
  if (!g_hookSlot) {
    g_hookSlot = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                    sizeof(TDialogReadyHook), HookSlotName().c_str());
    if (!g_hookSlot) return;
  }
  void* view = MapViewOfFile(g_hookSlot, FILE_MAP_WRITE, 0, 0, sizeof(TDialogReadyHook));
  if (!view) return;
  std::memcpy(view, &hook, sizeof hook);
  UnmapViewOfFile(view);
}

TDialogReadyHook ProcessHook() {
  if (TDialogReadyHook local = g_hook.load()) return local;
  HANDLE slot = OpenFileMappingA(FILE_MAP_READ, FALSE, HookSlotName().c_str());
  if (!slot) return nullptr;
  TDialogReadyHook hook = nullptr;
  if (void* view = MapViewOfFile(slot, FILE_MAP_READ, 0, 0, sizeof(TDialogReadyHook))) {
    std::memcpy(&hook, view, sizeof hook);
    UnmapViewOfFile(view);
  }
  CloseHandle(slot);
  return hook;
}

std::string ClassOf(HWND wnd) {
  char name[64] = "";
  GetClassNameA(wnd, name, sizeof name);
  return name;
}

bool IsEditClass(HWND wnd) { return lstrcmpiA(ClassOf(wnd).c_str(), "Edit") == 0; }

// A combo box the user can type into (not a drop-down list).
bool IsTypingCombo(HWND wnd) {
  if (lstrcmpiA(ClassOf(wnd).c_str(), "ComboBox") != 0) return false;
  LONG style = GetWindowLongA(wnd, GWL_STYLE) & 3;
  return style == CBS_SIMPLE || style == CBS_DROPDOWN;
}

std::string WindowText(HWND wnd) {
  if (!wnd) return std::string();
  int n = GetWindowTextLengthA(wnd);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n) + 1, '\0');
  int got = GetWindowTextA(wnd, s.data(), n + 1);
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

std::string ItemString(HWND wnd, UINT lenMsg, UINT textMsg, int index) {
  LRESULT n = SendMessageA(wnd, lenMsg, static_cast<WPARAM>(index), 0);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n) + 1, '\0');
  LRESULT got = SendMessageA(wnd, textMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

}  // namespace

void SetDialogReadyHook(TDialogReadyHook hook) {
  g_hook = hook;
  PublishHook(hook);
}

void SetDefaultDialogOwner(HWND owner) { g_defaultOwner = owner; }
HWND DefaultDialogOwner() { return g_defaultOwner.load(); }

// ----------------------------------------------------------------- OVDialog

OVDialog::OVDialog(int templateId, HINSTANCE module)
    : templateId_(templateId),
      module_(module ? module : reinterpret_cast<HINSTANCE>(&__ImageBase)) {}

OVDialog::~OVDialog() {
  if (hwnd_ && !modal_) {
    HWND wnd = hwnd_;
    SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
    DestroyWindow(wnd);
  }
}

HWND OVDialog::ResolveOwner(HWND owner) const {
  if (owner) return owner;
  if (HWND active = GetActiveWindow()) return active;
  return DefaultDialogOwner();
}

INT_PTR OVDialog::DoModal(HWND owner) {
  modal_ = true;
  lastEdit_ = nullptr;
  INT_PTR r = DialogBoxParamA(module_, MAKEINTRESOURCEA(templateId_), ResolveOwner(owner),
                              DialogProc, reinterpret_cast<LPARAM>(this));
  hwnd_ = nullptr;
  return r;
}

HWND OVDialog::Create(HWND owner) {
  modal_ = false;
  lastEdit_ = nullptr;
  return CreateDialogParamA(module_, MAKEINTRESOURCEA(templateId_), ResolveOwner(owner), DialogProc,
                            reinterpret_cast<LPARAM>(this));
}

void OVDialog::SetHint(int id, const std::string& text) {
  HWND control = Item(id);
  if (!control) return;
  if (!hints_) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    hints_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, module_,
                             nullptr);
    if (!hints_) return;
    SendMessageA(hints_, TTM_SETMAXTIPWIDTH, 0, 400);
  }
  TTTOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<char*>(text.c_str());
  // The tip keeps its own copy of the text.
  SendMessageA(hints_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(hints_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void OVDialog::End(INT_PTR result) {
  if (!hwnd_) return;
  if (modal_)
    EndDialog(hwnd_, result);
  else
    DestroyWindow(hwnd_);
}

INT_PTR CALLBACK OVDialog::DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  OVDialog* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<OVDialog*>(lp);
    SetWindowLongPtrA(wnd, GWLP_USERDATA, lp);
    if (self) self->hwnd_ = wnd;
  } else {
    self = reinterpret_cast<OVDialog*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  }
  if (!self) return FALSE;
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->lastEdit_ = nullptr;
    self->hints_ = nullptr;
    return FALSE;
  }
  // Neither an exception nor a fault of a handler leaves the dialog
  // procedure: both are reported and the dialog lives on.
  INT_PTR result = FALSE;
  std::string error;
  sehguard::TOutcome outcome = sehguard::Protected([&] {
    try {
      result = self->Route(msg, wp, lp);
    } catch (const std::exception& e) {
      error = e.what();
      throw;
    }
  });
  if (!outcome.Failed()) return result;
  if (outcome.code)
    error = sehguard::FaultText(outcome.code);
  else if (error.empty())
    error = "Unexpected error";
  sehguard::Protected([&] { self->OnError(error); });
  // A dialog whose initialisation failed is not usable.
  if (msg == WM_INITDIALOG) self->End(IDCANCEL);
  return msg == WM_INITDIALOG ? FALSE : TRUE;
}

INT_PTR OVDialog::Route(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      bool defaultFocus = OnInit();
      if (TDialogReadyHook hook = ProcessHook()) {
        hook(hwnd_);
        // A hook that placed the focus keeps it.
        HWND focus = GetFocus();
        if (focus && (focus == hwnd_ || IsChild(hwnd_, focus))) defaultFocus = false;
      }
      return defaultFocus ? TRUE : FALSE;
    }
    case WM_COMMAND: {
      int id = LOWORD(wp);
      int code = HIWORD(wp);
      HWND control = reinterpret_cast<HWND>(lp);
      NoteFocus(code, control);
      if (OnCommand(id, code, control)) return TRUE;
      if (code == BN_CLICKED && id == IDOK) {
        OnOK();
        return TRUE;
      }
      if (code == BN_CLICKED && id == IDCANCEL) {
        OnCancel();
        return TRUE;
      }
      return FALSE;
    }
    case WM_NOTIFY: {
      LRESULT result = 0;
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (!header || !OnNotify(static_cast<int>(header->idFrom), header, result)) return FALSE;
      SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_TIMER:
      OnTimer(static_cast<UINT_PTR>(wp));
      return TRUE;
    default: {
      INT_PTR result = FALSE;
      if (OnMessage(msg, wp, lp, result)) return result;
      return FALSE;
    }
  }
}

void OVDialog::NoteFocus(int code, HWND control) {
  if (!control) return;
  if ((code == EN_SETFOCUS && IsEditClass(control)) || (code == CBN_SETFOCUS && IsTypingCombo(control)))
    lastEdit_ = control;
}

bool OVDialog::OnCommand(int, int, HWND) { return false; }
bool OVDialog::OnNotify(int, NMHDR*, LRESULT&) { return false; }
void OVDialog::OnTimer(UINT_PTR) {}
bool OVDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }
void OVDialog::OnError(const std::string& text) { ShowError(hwnd_, text); }

// ------------------------------------------------------------ control helpers

std::string OVDialog::GetItemText(int id) const { return WindowText(Item(id)); }

void OVDialog::SetItemText(int id, const std::string& text) { SetDlgItemTextA(hwnd_, id, text.c_str()); }

int OVDialog::GetItemInt(int id, int fallback) const {
  std::string s = GetItemText(id);
  size_t b = s.find_first_not_of(" \t");
  size_t e = s.find_last_not_of(" \t");
  if (b == std::string::npos) return fallback;
  s = s.substr(b, e - b + 1);
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (errno != 0 || end == s.c_str() || *end != '\0' || v < INT_MIN || v > INT_MAX) return fallback;
  return static_cast<int>(v);
}

void OVDialog::SetItemInt(int id, int value) { SetItemText(id, std::to_string(value)); }

std::vector<std::string> OVDialog::GetItemLines(int id) const {
  std::vector<std::string> lines;
  std::string text = GetItemText(id);
  if (text.empty()) return lines;
  size_t start = 0;
  for (;;) {
    size_t eol = text.find('\n', start);
    std::string line = text.substr(start, eol == std::string::npos ? std::string::npos : eol - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (eol == std::string::npos) break;
    start = eol + 1;
    if (start == text.size()) break;  // a final line end adds no empty line
  }
  return lines;
}

void OVDialog::SetItemLines(int id, const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  SetItemText(id, text);
}

bool OVDialog::IsChecked(int id) const { return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }

void OVDialog::SetChecked(int id, bool checked) {
  CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

int OVDialog::CheckedRadio(int first, int last) const {
  for (int id = first; id <= last; ++id)
    if (IsChecked(id)) return id;
  return -1;
}

void OVDialog::CheckRadio(int first, int last, int id) { CheckRadioButton(hwnd_, first, last, id); }

void OVDialog::Enable(int id, bool enabled) { EnableWindow(Item(id), enabled ? TRUE : FALSE); }

void OVDialog::Show(int id, bool visible) { ShowWindow(Item(id), visible ? SW_SHOW : SW_HIDE); }

void OVDialog::Focus(int id) {
  if (HWND c = Item(id)) SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(c), TRUE);
}

int OVDialog::ComboAdd(int id, const std::string& text) {
  return static_cast<int>(SendDlgItemMessageA(hwnd_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}
void OVDialog::ComboClear(int id) { SendDlgItemMessageA(hwnd_, id, CB_RESETCONTENT, 0, 0); }
int OVDialog::ComboCount(int id) const { return static_cast<int>(SendDlgItemMessageA(hwnd_, id, CB_GETCOUNT, 0, 0)); }
int OVDialog::ComboIndex(int id) const { return static_cast<int>(SendDlgItemMessageA(hwnd_, id, CB_GETCURSEL, 0, 0)); }
void OVDialog::SetComboIndex(int id, int index) {
  SendDlgItemMessageA(hwnd_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
std::string OVDialog::ComboItemText(int id, int index) const {
  return ItemString(Item(id), CB_GETLBTEXTLEN, CB_GETLBTEXT, index);
}

int OVDialog::ListAdd(int id, const std::string& text) {
  return static_cast<int>(SendDlgItemMessageA(hwnd_, id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}
void OVDialog::ListClear(int id) { SendDlgItemMessageA(hwnd_, id, LB_RESETCONTENT, 0, 0); }
int OVDialog::ListCount(int id) const { return static_cast<int>(SendDlgItemMessageA(hwnd_, id, LB_GETCOUNT, 0, 0)); }
int OVDialog::ListIndex(int id) const { return static_cast<int>(SendDlgItemMessageA(hwnd_, id, LB_GETCURSEL, 0, 0)); }
void OVDialog::SetListIndex(int id, int index) {
  SendDlgItemMessageA(hwnd_, id, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
std::string OVDialog::ListItemText(int id, int index) const {
  return ItemString(Item(id), LB_GETTEXTLEN, LB_GETTEXT, index);
}

bool OVDialog::InsertAtCaret(const std::string& text) {
  HWND target = lastEdit_;
  if (!hwnd_ || !target || !IsWindow(target)) return false;
  HWND edit = target;
  if (IsTypingCombo(target)) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (!GetComboBoxInfo(target, &info) || !info.hwndItem) return false;
    edit = info.hwndItem;
  }
  SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
  DWORD start = 0, end = 0;
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  // Focusing through the dialog manager selects the whole text; the caret
  // belongs after the inserted text.
  SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
  SendMessageA(edit, EM_SETSEL, start, end);
  return true;
}
