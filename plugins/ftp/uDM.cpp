// The Internet plug-in's data module: its identity and its actions in
// index order.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "OVError.h"
#include "OVPlugin.h"
#include "OVAbout.h"
#include "uDM.h"

namespace {

class TDM : public TOVDataModule {
 public:
  TDM() {
    Plugin->Description = "Internet";
    Plugin->ID = OV_FTP_ID;
    Plugin->OnAbout = [this] { ShowAboutBox("Version 1.2", Plugin->Description); };
    // Job files name actions by index: the order is fixed and new actions
    // only ever go at the end.
    AddMethod("FTP Upload", UploadCase());                       // 0
    AddMethod("FTP Download", DownloadCase());                   // 1
    AddMethod("HTTP Download", HttpDownloadCase());             // 2
    AddMethod("FTP Script", FtpScriptCase());                   // 3
  }

  void DMCreate() override {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&icc);
  }
};

}  // namespace

OV_DATA_MODULE(TDM)
