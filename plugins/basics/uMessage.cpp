// "Show a message": a message box without owner that the job waits for,
// and/or a sound played without waiting.
#include "uMessage.h"

#include <windows.h>

#include <commdlg.h>
#include <mmsystem.h>

#include "BasicsUtil.h"
#include "uDM.h"
#include "OVDialog.h"
#include "OVError.h"
#include "OVMsgBox.h"
#include "OVShell.h"

namespace {

const char* const kName = "Show a message";

struct TMessageSettings {
  bool ShowMessage = true;
  bool PlayWave = false;
  std::string Message = "[%Time%, %DayOfWeek%, %Date%]\r\nHey, awake!";
  std::string WaveFile;
};

// Two flags, two zero bytes, the two stored lengths, then each text that
// its flag says is there. False when the block ends early.
bool ReadSettings(const TOVMethodParams& params, TMessageSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  uint8_t show = 0, sound = 0, pad = 0;
  uint32_t messageLength = 0, waveLength = 0;
  r.Byte(show);
  r.Byte(sound);
  r.Byte(pad);
  r.Byte(pad);
  r.Dword(messageLength);
  r.Dword(waveLength);
  if (!r.ok()) return false;
  s.ShowMessage = show != 0;
  s.PlayWave = sound != 0;
  s.Message.clear();
  s.WaveFile.clear();
  if (s.ShowMessage && !ReadFixedText(r, messageLength, s.Message)) return false;
  if (s.PlayWave && !ReadFixedText(r, waveLength, s.WaveFile)) return false;
  return true;
}

bool StoreSettings(const TMessageSettings& s, TOVMethodParams& params) {
  TBlockWriter w;
  w.Byte(s.ShowMessage ? 1 : 0).Byte(s.PlayWave ? 1 : 0).Byte(0).Byte(0);
  w.Dword(s.ShowMessage ? StoredLength(s.Message) : 0u);
  w.Dword(s.PlayWave ? StoredLength(s.WaveFile) : 0u);
  if (s.ShowMessage) WriteFixedText(w, s.Message);
  if (s.PlayWave) WriteFixedText(w, s.WaveFile);
  return w.StoreTo(params);
}

// What a step does, and the dialog's Test button the same way: the sound
// starts, then the box waits for its answer.
void Present(const TMessageSettings& s, HWND owner, const std::string& caption) {
  if (s.PlayWave && !s.WaveFile.empty()) {
    std::string wave = HostExpandVars(s.WaveFile);
    ::PlaySoundA(wave.c_str(), nullptr, SND_ASYNC | SND_FILENAME | SND_NODEFAULT);
  }
  if (s.ShowMessage && !s.Message.empty()) {
    OVMessageBox(owner, HostExpandVars(s.Message), caption,
                 MB_OK | MB_ICONEXCLAMATION | MB_TOPMOST | MB_SETFOREGROUND);
  }
}

bool ExecMessage(TOVMethodParams& params) {
  TMessageSettings s;
  if (!ReadSettings(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  TCallerJob job = CallerJob();
  Present(s, nullptr, "OV: " + (job.ID ? job.Name : std::string("Test")));
  return true;
}

void DescrMessage(TOVMethodParams& params, std::string& descr) {
  TMessageSettings s;
  if (!ReadSettings(params, s)) return;
  const std::string message = s.ShowMessage ? s.Message : std::string();
  const std::string wave = s.PlayWave ? s.WaveFile : std::string();
  if (!message.empty()) {
    size_t brk = message.find_first_of("\r\n");
    descr = Format("Show \"%s", message.substr(0, brk).c_str());
    // A line break with nothing after it ends the only line.
    size_t rest = brk;
    if (rest != std::string::npos) rest += message.compare(rest, 2, "\r\n") == 0 ? 2 : 1;
    bool moreLines = rest != std::string::npos && rest < message.size();
    descr += moreLines ? "...\"" : "\"";
  } else {
    descr = "Not show message";
  }
  if (!wave.empty()) {
    descr += message.empty() ? " but" : " and";
    descr += " play sound";
  }
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

class TfMessage : public OVDialog {
 public:
  TfMessage() : OVDialog(IDD_MESSAGE) {}
  TMessageSettings Settings;

 protected:
  bool OnInit() override {
    Put(Settings);
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    switch (id) {
      case IDC_bSelectWaveFile:
        bSelectWaveFileClick();
        return true;
      case IDC_bTest:
        Present(Taken(), Handle(), "OV: Test");
        return true;
      case IDC_bVariable:
        SelectVariableAtCaret(*this);
        return true;
      default:
        return false;
    }
  }

  void OnOK() override {
    Settings = Taken();
    End(IDOK);
  }

 private:
  void Put(const TMessageSettings& s) {
    SetChecked(IDC_cbShowMessage, s.ShowMessage);
    SetItemText(IDC_MsgMemo, s.ShowMessage ? s.Message : std::string());
    SetChecked(IDC_cbPlaySound, s.PlayWave);
    SetItemText(IDC_eWaveFile, s.PlayWave ? s.WaveFile : std::string());
  }

  TMessageSettings Taken() const {
    TMessageSettings s;
    s.ShowMessage = IsChecked(IDC_cbShowMessage);
    s.Message = GetItemText(IDC_MsgMemo);
    s.PlayWave = IsChecked(IDC_cbPlaySound);
    s.WaveFile = GetItemText(IDC_eWaveFile);
    return s;
  }

  void bSelectWaveFileClick() {
    std::string current = GetItemText(IDC_eWaveFile);
    TFileBox box;
    box.filter = "Sound files\0*.wav*\0";
    box.initialDir = FolderOf(current);
    box.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    std::string file = current.substr(box.initialDir.size());
    if (!ChooseFile(Handle(), box, file)) return;
    SetItemText(IDC_eWaveFile, file);
    SetChecked(IDC_cbPlaySound, true);
  }
};

bool ConfigMessage(TOVMethodParams& params) {
  TfMessage dialog;
  // A damaged block opens with the defaults.
  if (!ReadSettings(params, dialog.Settings)) dialog.Settings = TMessageSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreSettings(dialog.Settings, params);
}

}  // namespace

TMethodCase MessageCase() { return TMethodCase{.Exec = ExecMessage, .Config = ConfigMessage, .Descr = DescrMessage}; }
