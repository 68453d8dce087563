// The archive plug-in's data module: its identity and its two actions in
// index order (job files name them by index).
#include "OVAbout.h"
#include "OVPlugin.h"
#include "uUnzip.h"
#include "uZip.h"

namespace {

class TDM : public TOVDataModule {
 public:
  TDM() {
    Plugin->Description = "Achievers";
    Plugin->ID = 9681;
    Plugin->OnAbout = [] { ShowAboutBox("Version 1.1", "Zip/Unzip"); };
    AddMethod("Create/update zip-archive", ZipCase());        // 0
    AddMethod("Extract files from zip-archive", UnzipCase());  // 1
  }
};

}  // namespace

OV_DATA_MODULE(TDM)
