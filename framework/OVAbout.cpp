#include "OVAbout.h"

#include "OVDialog.h"
#include "OVPluginHost.h"

namespace {
class TAboutBox : public OVDialog {
 public:
  TAboutBox(const std::string& version, const std::string& title)
      : OVDialog(IDD_ABOUTBOX), version_(version), title_(title) {}

 protected:
  bool OnInit() override {
    SetItemText(IDC_ABOUT_VERSION, version_);
    SetItemText(IDC_ABOUT_TITLE, title_);
    return true;
  }

 private:
  std::string version_;
  std::string title_;
};
}  // namespace

void ShowAboutBox(const std::string& version, const std::string& title) {
  TAboutBox box(version, title);
  box.DoModal(HostAppWindow());
}
