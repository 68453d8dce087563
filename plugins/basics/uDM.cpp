// The General plug-in's data module: its identity, its actions and
// triggers in index order, and what lives from loading to unloading.
#include <string>

#include "BasicsUtil.h"
#include "OVPlugin.h"
#include "OVAbout.h"
#include "uDM.h"

namespace {

class TDM : public TOVDataModule {
 public:
  TDM() {
    Plugin->Description = "General";
    Plugin->ID = OV_BASICS_ID;
    Plugin->OnAbout = [this] { PluginAbout(); };

    // Job files name actions and triggers by index: the order is fixed and
    // new items only ever go at the end.
    Method("Show a message", MessageCase());                    // 0
    Method("Run a program/Open a document", RunCase());         // 1
    Method("Copy/Move a file(s)", CopyFilesCase());             // 2
    Method("Delete a file(s)", DeleteFilesCase());              // 3
    Method("Synchronize a folders", SyncFoldersCase());         // 4
    Method("Run other Job", SelectJobCase());                   // 5
    Method("Shutdown Windows/computer", ShutdownCase());        // 6
    Method("Question", ConfirmRunJobCase());                    // 7
    Method("Create text file", WriteTextFileCase());            // 8
    Method("Send WinPopup message", WinPopupCase());            // 9
    Method("Print a document(s)", PrintDocCase());              // 10
    Method("Send Keys", SendKeysCase());                        // 11
    Method("Delay (in ms)", DelayCase());                       // 12
    Method("Create File List", FileListCase());                 // 13
    Method("Rename file(s)", RenameFilesCase());                // 14

    Runner("Hot key", HotKeyCase());                 // 0
    Runner("Alarm clock", AlarmClockCase());         // 1
    Runner("On Windows shutdown", OnShutdownCase()); // 2
    Runner("Files Monitor", FileMonitorCase());      // 3
    Runner("On idle", IdleCase());                   // 4
  }

  // What the triggers keep for the plug-in's whole life is made here, in
  // this order: the shutdown watcher (TSSCheck), the hidden hot-key window
  // (TfHotKey), the hidden alarm window (TfAlarmClock), the idle list
  // (TIdleList, which watches the input from here on). A unit whose
  // trigger keeps such a thing declares its create and release functions
  // in uDM.h beside its case; they are called from here and from
  // PluginShutdownPlugin.
  void DMCreate() override {
    InitDialogControls();
    CreateShutdownWatcher();
    CreateHotKeyWindow();
    CreateAlarmClock();
    CreateIdleList();
  }

  // Released in this order: the alarm window (asked to release itself and
  // its pending messages handled at once), the file monitors (their threads
  // end by themselves), the hot-key window, the shutdown watcher, then the
  // idle list and its input hooks. The framework then frees the data
  // module and takes the host's window back as the owner of dialogs.
  void PluginShutdownPlugin() override {
    ReleaseAlarmClock();
    ReleaseFileMonitors();
    ReleaseHotKeyWindow();
    ReleaseShutdownWatcher();
    ReleaseIdleList();
  }

  void PluginAbout() { ShowAboutBox("Version 1.4", Plugin->Description); }

 private:
  void Method(const std::string& name, TMethodCase handlers) { AddMethod(name, std::move(handlers)); }
  void Runner(const std::string& name, TRunnerCase handlers) { AddRunner(name, std::move(handlers)); }
  void MissingRunner(const std::string& name) { AddRunner(name, NotAvailableRunner(name)); }
};

}  // namespace

OV_DATA_MODULE(TDM)
