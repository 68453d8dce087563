// The e-mail plug-in's data module: its identity and its actions in index
// order.
#include <windows.h>

#include <commctrl.h>

#include "OVPlugin.h"
#include "OVAbout.h"
#include "uDM.h"

namespace {

class TDM : public TOVDataModule {
 public:
  TDM() {
    Plugin->Description = "E-Mail";
    Plugin->ID = OV_EMAIL_ID;
    Plugin->OnAbout = [this] { ShowAboutBox("Version 1.0", Plugin->Description); };
    // Job files name actions by index: the order is fixed and new actions
    // only ever go at the end.
    AddMethod("Send Message", SendEmailCase());    // 0
    AddMethod("Check for Mail", CheckMailCase());  // 1
  }

  void DMCreate() override {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
  }
};

}  // namespace

OV_DATA_MODULE(TDM)
