#include "uAbout.h"

#include "OVDialog.h"
#include "OVPluginHost.h"

namespace {
class TAboutBox : public OVDialog {
 public:
  explicit TAboutBox(const std::string& title) : OVDialog(IDD_ABOUTBOX), title_(title) {}

 protected:
  bool OnInit() override {
    SetItemText(IDC_ABOUT_TITLE, title_);
    return true;
  }

 private:
  std::string title_;
};
}  // namespace

void ShowAboutBox(const std::string& title) {
  TAboutBox box(title);
  box.DoModal(HostAppWindow());
}
