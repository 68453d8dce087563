// "Question": asks through the question window of ovdlg.dll whether the job
// goes on, and asks the host to stop the job on the abort answer.
#include "uConfirmRunJob.h"

#include <windows.h>

#include <commctrl.h>

#include "BasicsUtil.h"
#include "uDM.h"
#include "OVDialog.h"
#include "OVError.h"
#include "OVMsgBox.h"
#include "ovdlg.h"

namespace {

const char* const kName = "Question";
constexpr int kMinSeconds = 1;
constexpr int kMaxSeconds = 32767;

// Stored answers of the automatic choice.
enum : uint32_t { kAutoNone = 0, kAutoCancelNo = 1, kAutoOkYes = 2 };

struct TQuestionSettings {
  std::string Text = "Do you wish to continue run Job?";
  uint32_t Buttons = 1;    // 0 OK & Cancel, 1 Yes & No
  uint32_t AbortWhen = 0;  // 0 Cancel/No, 1 OK/Yes
  uint32_t AutoChoice = kAutoNone;
  int32_t Seconds = 60;
};

// The text, the buttons and when to abort; then, in blocks that have it,
// the automatic choice with its seconds. False when the block ends before
// the first three.
bool ReadSettings(const TOVMethodParams& params, TQuestionSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  r.String(s.Text);
  r.Dword(s.Buttons);
  r.Dword(s.AbortWhen);
  if (!r.ok()) return false;
  if (r.More()) {
    TQuestionSettings tail;
    if (r.Dword(tail.AutoChoice) && r.Dword(tail.Seconds)) {
      s.AutoChoice = tail.AutoChoice;
      s.Seconds = tail.Seconds;
    }
  }
  return true;
}

bool StoreSettings(const TQuestionSettings& s, TOVMethodParams& params) {
  return TBlockWriter()
      .String(s.Text)
      .Dword(s.Buttons)
      .Dword(s.AbortWhen)
      .Dword(s.AutoChoice)
      .Dword(s.Seconds)
      .StoreTo(params);
}

int ClampSeconds(int32_t seconds) {
  return seconds < kMinSeconds ? kMinSeconds : seconds > kMaxSeconds ? kMaxSeconds : seconds;
}

// The question window's answer code for the stored automatic choice.
int AutoAnswerCode(uint32_t choice) {
  switch (choice) {
    case kAutoOkYes:
      return OVDLG_AUTO_OK_YES;
    case kAutoCancelNo:
      return OVDLG_AUTO_CANCEL_NO;
    default:
      return OVDLG_AUTO_NONE;
  }
}

// Asks through ovdlg.dll, which sits beside the host program. The
// library is taken for the one call, so that no state outlives it.
bool AskQuestion(HWND owner, const std::string& caption, const TQuestionSettings& s, int& answer,
                 std::string& error) {
  HMODULE library = LoadLibraryA("ovdlg.dll");
  if (!library) {
    error = Format("Cannot load ovdlg.dll: %s", SystemErrorText(GetLastError()).c_str());
    return false;
  }
  auto question = reinterpret_cast<TOVQuestion>(reinterpret_cast<void*>(GetProcAddress(library, "Question")));
  if (!question) {
    FreeLibrary(library);
    error = "ovdlg.dll has no function Question";
    return false;
  }
  std::string text = HostExpandVars(s.Text);
  answer = question(owner, caption.c_str(), text.c_str(), s.Buttons == 0 ? TRUE : FALSE,
                    AutoAnswerCode(s.AutoChoice), ClampSeconds(s.Seconds));
  FreeLibrary(library);
  return true;
}

const char* AnswerName(int answer, bool okCancel) {
  if (answer == OVDLG_OK_YES) return okCancel ? "OK" : "Yes";
  return okCancel ? "Cancel" : "No";
}

bool ExecQuestion(TOVMethodParams& params) {
  int32_t job = HostCurrentJob();
  if (job == 0) return true;  // only a running job can be asked about
  std::string jobName = HostJobName(job);

  if (TBlockReader(params).Empty()) {
    int answer = OVMessageBox(nullptr, "Continue run job <" + jobName + ">?", "Confirm",
                              MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);
    if (answer == IDNO) HostStopJob(job);
    return true;
  }

  TQuestionSettings s;
  if (!ReadSettings(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  int answer = 0;
  std::string error;
  if (!AskQuestion(nullptr, "OV: " + jobName, s, answer, error)) {
    HostLog(OV_LOG_ERROR, error);
    return false;
  }
  HostLog(OV_LOG_INFO, Format("Answer: %s", AnswerName(answer, s.Buttons == 0)));
  int abortAnswer = s.AbortWhen == 1 ? OVDLG_OK_YES : OVDLG_CANCEL_NO;
  if (answer == abortAnswer) HostStopJob(job);
  return true;
}

class TfConfirmRunJob : public OVDialog {
 public:
  TfConfirmRunJob() : OVDialog(IDD_CONFIRMRUNJOB) {}
  TQuestionSettings Settings;

 protected:
  bool OnInit() override {
    SendDlgItemMessageA(Handle(), IDC_udSecs, UDM_SETRANGE32, kMinSeconds, kMaxSeconds);
    Put(Settings);
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    switch (id) {
      case IDC_bQuestionTest: {
        int answer = 0;
        std::string error;
        if (!AskQuestion(Handle(), "Question", Taken(), answer, error)) ShowError(Handle(), error);
        return true;
      }
      case IDC_bQuestionVariable:
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
  void Put(const TQuestionSettings& s) {
    SetItemText(IDC_mQText, s.Text);
    CheckRadio(IDC_rbOkCancel, IDC_rbYesNo, s.Buttons == 0 ? IDC_rbOkCancel : IDC_rbYesNo);
    CheckRadio(IDC_rbAbortCancel, IDC_rbAbortOk, s.AbortWhen == 1 ? IDC_rbAbortOk : IDC_rbAbortCancel);
    int autoId = s.AutoChoice == kAutoCancelNo ? IDC_rbAutoCancel
                 : s.AutoChoice == kAutoOkYes  ? IDC_rbAutoOk
                                               : IDC_rbAutoNone;
    CheckRadio(IDC_rbAutoNone, IDC_rbAutoOk, autoId);
    SendDlgItemMessageA(Handle(), IDC_udSecs, UDM_SETPOS32, 0, ClampSeconds(s.Seconds));
    SetItemInt(IDC_eSecs, ClampSeconds(s.Seconds));
  }

  TQuestionSettings Taken() const {
    TQuestionSettings s;
    s.Text = GetItemText(IDC_mQText);
    s.Buttons = IsChecked(IDC_rbOkCancel) ? 0 : 1;
    s.AbortWhen = IsChecked(IDC_rbAbortOk) ? 1 : 0;
    s.AutoChoice = IsChecked(IDC_rbAutoCancel) ? kAutoCancelNo : IsChecked(IDC_rbAutoOk) ? kAutoOkYes : kAutoNone;
    s.Seconds = ClampSeconds(GetItemInt(IDC_eSecs, Settings.Seconds));
    return s;
  }
};

bool ConfigQuestion(TOVMethodParams& params) {
  TfConfirmRunJob dialog;
  if (!ReadSettings(params, dialog.Settings)) dialog.Settings = TQuestionSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreSettings(dialog.Settings, params);
}

}  // namespace

TMethodCase ConfirmRunJobCase() { return TMethodCase{.Exec = ExecQuestion, .Config = ConfigQuestion, .Descr = nullptr}; }
