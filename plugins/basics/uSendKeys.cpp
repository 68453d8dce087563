// "Send Keys": types a key text into a window found by part of its title.
#include "uSendKeys.h"

#include <windows.h>

#include <commctrl.h>

#include "BasicsUtil.h"
#include "OVDialog.h"
#include "OVError.h"
#include "SendKeys.h"
#include "ShortCut.h"
#include "uDM.h"

namespace {

const char* const kName = "Send Keys";

struct TSendKeysSettings {
  std::string Caption = "Notepad";
  bool Fixed = true;
  std::string Keys = "Hello, World! :{)}";
};

bool ReadSettings(const TOVMethodParams& params, TSendKeysSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  TSendKeysSettings read;
  r.String(read.Caption);
  r.Bool(read.Fixed);
  r.String(read.Keys);
  if (!r.ok()) return false;
  s = read;
  return true;
}

bool StoreSettings(const TSendKeysSettings& s, TOVMethodParams& params) {
  return TBlockWriter().String(s.Caption).Bool(s.Fixed).String(s.Keys).StoreTo(params);
}

bool ExecSendKeys(TOVMethodParams& params) {
  TSendKeysSettings s;
  if (!ReadSettings(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  std::string caption = HostExpandVars(s.Caption);
  std::string keys = JoinKeyLines(HostExpandVars(s.Keys));
  TKeySender sender(caption, s.Fixed, false, true, [](const std::string& line) { HostLog(OV_LOG_ERROR, line); });
  return sender.Send(ParseKeys(keys));
}

void DescrSendKeys(TOVMethodParams& params, std::string& descr) {
  TSendKeysSettings s;
  if (ReadSettings(params, s) && !s.Caption.empty()) descr = Format("Send keys to \"%s\"", s.Caption.c_str());
}

// ------------------------------------------------------------ helpers

class TfKeyCombin : public OVDialog {
 public:
  TfKeyCombin() : OVDialog(IDD_KEYCOMBIN) {}
  std::string Text;

 protected:
  bool OnInit() override {
    // Any key, with or without modifiers, may be sent.
    SendDlgItemMessageA(Handle(), IDC_hkKeyCombin, HKM_SETRULES, 0, 0);
    return true;
  }
  void OnOK() override {
    Text = KeyCombinationText(GetHotKeyShortCut(Item(IDC_hkKeyCombin)));
    End(IDOK);
  }
};

constexpr int kMinDelay = 100, kMaxDelay = 32000, kDelayStep = 100;

class TfKeyDelay : public OVDialog {
 public:
  TfKeyDelay() : OVDialog(IDD_KEYDELAY) {}
  int Delay = kMinDelay;

 protected:
  bool OnInit() override {
    SendDlgItemMessageA(Handle(), IDC_udKeyDelay, UDM_SETRANGE32, kMinDelay, kMaxDelay);
    UDACCEL accel{0, kDelayStep};
    SendDlgItemMessageA(Handle(), IDC_udKeyDelay, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
    SendDlgItemMessageA(Handle(), IDC_udKeyDelay, UDM_SETPOS32, 0, Delay);
    SetItemInt(IDC_eKeyDelay, Delay);
    return true;
  }
  void OnOK() override {
    int ms = GetItemInt(IDC_eKeyDelay, -1);
    if (ms < kMinDelay || ms > kMaxDelay) {
      MessageBeep(MB_OK);
      Focus(IDC_eKeyDelay);
      return;
    }
    Delay = ms;
    End(IDOK);
  }
};

const char* const kMenuKeys[] = {"BACKSPACE", "CAPSLOCK", "DELETE", "DOWN", "END", "ENTER", "ESCAPE", "F1",
                                 "F2",        "F3",       "F4",     "F5",   "F6",  "F7",    "F8",     "F9",
                                 "F10",       "F11",      "F12",    "HOME", "INS", "LEFT",  "NUMLOCK", "PGDN",
                                 "PGUP",      "PRTSC",    "SCROLLLOCK", "TAB", "UP"};
constexpr int kMenuKeyCount = sizeof kMenuKeys / sizeof kMenuKeys[0];

// ------------------------------------------------------------ TfSendKeys

class TfSendKeys : public OVDialog {
 public:
  TfSendKeys() : OVDialog(IDD_SENDKEYS) {}
  TSendKeysSettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_eWinCaption, Settings.Caption);
    SetChecked(IDC_cbFixedWindow, Settings.Fixed);
    SetItemText(IDC_mKeys, Settings.Keys);
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    if (id == IDC_eWinCaption) {
      if (code == CBN_DROPDOWN) FillWindowTitles();
      if (code == CBN_EDITCHANGE && GetItemText(IDC_eWinCaption).empty()) SetChecked(IDC_cbFixedWindow, false);
      return code == CBN_DROPDOWN || code == CBN_EDITCHANGE;
    }
    switch (id) {
      case IDC_SpeedButton2:
        SpeedButton2Click();
        return true;
      case IDC_bSendKeysVariable:
        SelectVariableAtCaret(*this);
        return true;
      case IDM_KEYCOMBINATION: {
        TfKeyCombin combin;
        if (combin.DoModal(Handle()) == IDOK && !combin.Text.empty()) InsertKeys(combin.Text);
        return true;
      }
      case IDM_INSERTDELAY: {
        TfKeyDelay delay;
        if (delay.DoModal(Handle()) == IDOK) InsertKeys(Format("{DELAY %d}", delay.Delay));
        return true;
      }
      default:
        if (id >= IDM_KEYNAME_FIRST && id < IDM_KEYNAME_FIRST + kMenuKeyCount) {
          InsertKeys(std::string("{") + kMenuKeys[id - IDM_KEYNAME_FIRST] + "}");
          return true;
        }
        return false;
    }
  }

  void OnOK() override {
    Settings.Caption = GetItemText(IDC_eWinCaption);
    Settings.Fixed = IsChecked(IDC_cbFixedWindow);
    Settings.Keys = GetItemText(IDC_mKeys);
    End(IDOK);
  }

 private:
  void FillWindowTitles() {
    std::string typed = GetItemText(IDC_eWinCaption);
    ComboClear(IDC_eWinCaption);
    // Only visible windows can receive keys.
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
      if (!IsWindowVisible(w)) continue;
      char title[256] = "";
      if (GetWindowTextA(w, title, sizeof title) > 0 && w != Handle()) {
        if (SendDlgItemMessageA(Handle(), IDC_eWinCaption, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                reinterpret_cast<LPARAM>(title)) == CB_ERR)
          ComboAdd(IDC_eWinCaption, title);
      }
    }
    SetItemText(IDC_eWinCaption, typed);
  }

  void SpeedButton2Click() {
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, IDM_KEYCOMBINATION, "Key combination...");
    AppendMenuA(menu, MF_STRING, IDM_INSERTDELAY, "Insert delay...");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    for (int i = 0; i < kMenuKeyCount; ++i) AppendMenuA(menu, MF_STRING, IDM_KEYNAME_FIRST + i, kMenuKeys[i]);
    RECT r{};
    GetWindowRect(Item(IDC_SpeedButton2), &r);
    // The chosen entry comes back as WM_COMMAND.
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, r.left, r.bottom, 0, Handle(), nullptr);
    DestroyMenu(menu);
  }

  // Replaces the memo's selection at the caret.
  void InsertKeys(const std::string& text) {
    HWND memo = Item(IDC_mKeys);
    SendMessageA(memo, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
    DWORD start = 0, end = 0;
    SendMessageA(memo, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    // Focusing through the dialog manager selects everything: the caret
    // goes back after the inserted text.
    SendMessageA(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(memo), TRUE);
    SendMessageA(memo, EM_SETSEL, end, end);
  }
};

bool ConfigSendKeys(TOVMethodParams& params) {
  TfSendKeys dialog;
  if (!ReadSettings(params, dialog.Settings)) dialog.Settings = TSendKeysSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreSettings(dialog.Settings, params);
}

}  // namespace

TMethodCase SendKeysCase() {
  return TMethodCase{.Exec = ExecSendKeys, .Config = ConfigSendKeys, .Descr = DescrSendKeys};
}
