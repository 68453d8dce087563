// The archive comment's editor of the zip dialog.
#pragma once

#define IDD_ZIPCOMMENT 1100
#define IDC_CommentMemo 1101
#define IDC_bCommentVariable 1102

#ifndef RC_INVOKED
#include <string>

#include "OVDialog.h"

class TfZipComment : public OVDialog {
 public:
  TfZipComment() : OVDialog(IDD_ZIPCOMMENT) {}
  std::string Comment;

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;
};
#endif
