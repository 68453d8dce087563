#include "uZipComment.h"

#include "OVPluginHost.h"

bool TfZipComment::OnInit() {
  SetItemText(IDC_CommentMemo, Comment);
  return true;
}

bool TfZipComment::OnCommand(int id, int code, HWND) {
  if (id != IDC_bCommentVariable || code != BN_CLICKED) return false;
  SelectVariableAtCaret(*this);
  return true;
}

void TfZipComment::OnOK() {
  Comment = GetItemText(IDC_CommentMemo);
  End(IDOK);
}
