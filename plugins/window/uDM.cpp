// The window plug-in's data module: its identity and its actions and
// trigger in index order.
#include "uDM.h"

#include <commctrl.h>

#include "OVAbout.h"

namespace {

class TDM : public TOVDataModule {
 public:
  TDM() {
    Plugin->Description = "Window manipulations";
    Plugin->ID = OV_WINDOW_ID;
    Plugin->OnAbout = [this] { ShowAboutBox("Version 1.1", Plugin->Description); };

    // Job files name actions and triggers by index: the order is fixed and
    // new items only ever go at the end.
    for (int i = 0; i < kWindowActionCount; ++i) AddMethod(WindowActionName(i), WindowActionCase(i));  // 0..6
    AddMethod("Check for window", CheckForWindowCase());                                               // 7
    AddRunner("Window watcher", WindowWatcherCase());                                                  // 0
  }

  void DMCreate() override {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
  }

  void PluginShutdownPlugin() override { ReleaseWindowWatchers(); }
};

}  // namespace

OV_DATA_MODULE(TDM)
