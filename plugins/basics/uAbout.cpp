#include "uAbout.h"

#include "OVPluginHost.h"

bool TAboutBox::OnInit() {
  SetItemText(IDC_ABOUT_TITLE, title_);
  return true;
}

void ShowAboutBox(const std::string& title) {
  TAboutBox box(title);
  box.DoModal(HostAppWindow());
}
