#include "uHotKey.h"

#include <commctrl.h>

#include <memory>
#include <stdexcept>

#include "OVError.h"
#include "OVPluginBlock.h"
#include "OVPluginHost.h"
#include "ShortCut.h"
#include "uDM.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const char kWindowClass[] = "TfHotKey";
const char kCause[] = "Hot keys";

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

}  // namespace

bool ReadHotKeyBlock(const TOVRunnerParams& params, uint16_t& shortCut) {
  TBlockReader r(params);
  return r.Word(shortCut);
}

// ------------------------------------------------------------ the window

TfHotKey::TfHotKey() : OVDialog(IDD_HOTKEY, Module()) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_HOTKEY_CLASS};
  InitCommonControlsEx(&icc);
  WNDCLASSA wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = Module();
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);
  // A hidden top-level window of the main thread: the system posts the
  // hot-key messages to it.
  wnd_ = CreateWindowA(kWindowClass, "Hot Keys", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, Module(), this);
  if (!wnd_) throw std::runtime_error("Cannot create the hot-key window");
}

TfHotKey::~TfHotKey() {
  for (const TRegistration& r : list_) {
    UnregisterHotKey(wnd_, r.Atom);
    GlobalDeleteAtom(r.Atom);
  }
  list_.clear();
  SetWindowLongPtrA(wnd_, GWLP_USERDATA, 0);
  DestroyWindow(wnd_);
  UnregisterClassA(kWindowClass, Module());
}

LRESULT CALLBACK TfHotKey::WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  } else if (msg == WM_HOTKEY) {
    auto* self = reinterpret_cast<TfHotKey*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (self) {
      try {
        self->HotKeyPressed(static_cast<ATOM>(wp & 0xFFFF));
      } catch (...) {
      }
    }
    return 0;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

void TfHotKey::HotKeyPressed(ATOM id) {
  // Running a job may reach back into the plug-in; work on a copy.
  std::vector<int32_t> jobs;
  for (const TRegistration& r : list_)
    if (r.Atom == id) jobs.push_back(r.JobID);
  for (int32_t job : jobs) HostRunJob(job, kCause);
}

// ------------------------------------------------------------ start, stop

bool TfHotKey::Start(TOVRunnerParams& params) {
  uint16_t shortCut = 0;
  if (!ReadHotKeyBlock(params, shortCut) || ShortCutKey(shortCut) == 0) {
    ReportFailure(shortCut, params.JobID);
    return false;
  }
  return Register(shortCut, params);
}

bool TfHotKey::Register(uint16_t shortCut, const TOVRunnerParams& event) {
  std::string name = "Hotkey " + ShortCutToText(shortCut);
  ATOM atom = GlobalAddAtomA(name.c_str());
  if (!atom) {
    ReportFailure(shortCut, event.JobID);
    return false;
  }
  if (!RegisterHotKey(wnd_, atom, ShortCutHotKeyModifiers(shortCut), ShortCutKey(shortCut))) {
    // The atom was added (or its count raised) for this registration only.
    GlobalDeleteAtom(atom);
    ReportFailure(shortCut, event.JobID);
    return false;
  }
  list_.push_back({atom, event.JobID, &event});
  return true;
}

void TfHotKey::ReportFailure(uint16_t shortCut, int32_t jobId) {
  HostLog(OV_LOG_ERROR, Format("Cannot register hotkey \"%s\" for job \"%s\"!", ShortCutToText(shortCut).c_str(),
                               HostJobName(jobId).c_str()));
}

// Each event stops its own registration: one job may hold several hot-key
// events, and stopping one of them leaves the others armed.
void TfHotKey::Stop(TOVRunnerParams& params) {
  for (auto it = list_.begin(); it != list_.end(); ++it) {
    if (it->Event != &params) continue;
    if (!UnregisterHotKey(wnd_, it->Atom)) HostLog(OV_LOG_ERROR, "Cannot unregister hotkey");
    // GlobalDeleteAtom answers 0 when it succeeded.
    if (GlobalDeleteAtom(it->Atom) != 0) HostLog(OV_LOG_ERROR, "Cannot unregister delete atom");
    list_.erase(it);
    return;
  }
}

// ------------------------------------------------------------ the dialog

std::string TfHotKey::Description(const TOVRunnerParams& params) {
  uint16_t shortCut = 0;
  ReadHotKeyBlock(params, shortCut);
  return Format("Run job on pressing \"%s\"", ShortCutToText(shortCut).c_str());
}

bool TfHotKey::Config(TOVRunnerParams& params) {
  editing_ = 0;
  ReadHotKeyBlock(params, editing_);
  if (DoModal() != IDOK) return false;
  if (!TBlockWriter().Word(editing_).StoreTo(params)) throw std::runtime_error("Not enough memory to keep the hot key");
  return true;
}

bool TfHotKey::OnInit() {
  HWND control = Item(IDC_HOTKEY);
  // A key alone or with Shift alone would take that key from every
  // program: such combinations get Ctrl+Alt instead.
  SendMessageA(control, HKM_SETRULES, HKCOMB_NONE | HKCOMB_S, MAKELPARAM(HOTKEYF_CONTROL | HOTKEYF_ALT, 0));
  if (editing_) SetHotKeyShortCut(control, editing_);
  return true;
}

void TfHotKey::OnOK() {
  uint16_t shortCut = GetHotKeyShortCut(Item(IDC_HOTKEY));
  // Without a key there is nothing to register.
  if (ShortCutKey(shortCut) == 0) {
    MessageBeep(MB_OK);
    Focus(IDC_HOTKEY);
    return;
  }
  editing_ = shortCut;
  End(IDOK);
}

// ------------------------------------------------------------ dispatch

namespace {
std::unique_ptr<TfHotKey> g_hotKey;
}

void CreateHotKeyWindow() { g_hotKey = std::make_unique<TfHotKey>(); }

// Hot-key messages still queued for the window go with it.
void ReleaseHotKeyWindow() { g_hotKey.reset(); }

TfHotKey* HotKeyWindow() { return g_hotKey.get(); }

TRunnerCase HotKeyCase() {
  return {
      .Config = [](TOVRunnerParams& p) { return g_hotKey && g_hotKey->Config(p); },
      .Start = [](TOVRunnerParams& p) { return g_hotKey && g_hotKey->Start(p); },
      .Stop =
          [](TOVRunnerParams& p) {
            if (g_hotKey) g_hotKey->Stop(p);
          },
      .Descr = [](TOVRunnerParams& p, std::string& d) { d = TfHotKey::Description(p); },
  };
}
