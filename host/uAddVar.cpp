#include "uAddVar.h"

#include "VarList.h"
#include "uVarsRes.h"

namespace {

const char kNote[] =
    "You can specify for value other variables. For example, for getting yesterday's date "
    "specify  %MonthIncDays(-1)%/%IncDays(-1)%/%YearIncDays(-1)%";

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

}  // namespace

TfAddVar::TfAddVar(const std::string& name, const std::string& value)
    : OVDialog(IDD_ADDVAR), original_(name), name_(name), value_(value) {}

bool TfAddVar::IsIdentifier(const std::string& name) {
  if (name.empty() || !IsLetter(name[0])) return false;
  for (char c : name)
    if (!IsLetter(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

bool TfAddVar::NameAcceptable(const std::string& name) const {
  if (!IsIdentifier(name)) return false;
  if (name == original_) return true;
  // By key, so that INCDAYS is taken by the built-in "IncDays(-1)".
  std::shared_ptr<TVarList> list = VarList();
  return !list || list->IndexOfVar(name) < 0;
}

bool TfAddVar::OnInit() {
  SetItemText(IDC_LNOTE, kNote);
  SetItemText(IDC_ENAME, name_);
  SetItemText(IDC_EVALUE, value_);
  eNameChange();
  return true;
}

bool TfAddVar::OnCommand(int id, int code, HWND) {
  if (id == IDC_ENAME && code == EN_CHANGE) {
    eNameChange();
    return true;
  }
  return false;
}

void TfAddVar::eNameChange() { Enable(IDOK, NameAcceptable(VarUpperCase(GetItemText(IDC_ENAME)))); }

void TfAddVar::OnOK() {
  std::string name = VarUpperCase(GetItemText(IDC_ENAME));
  // Enter reaches OK even while the button is disabled.
  if (!NameAcceptable(name)) return;
  name_ = name;
  value_ = GetItemText(IDC_EVALUE);
  End(IDOK);
}
