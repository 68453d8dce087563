// The hot-key trigger ("Hot key", trigger 0): runs its event's job when a
// system-wide key combination is pressed.
//
// One TfHotKey lives from the data module's creation to the plug-in's
// shutdown: a hidden window ("Hot Keys") that owns the system hot keys of
// every started event and receives their messages on the host's main
// thread, and the configuration dialog of the same name.
#pragma once

#define IDD_HOTKEY 5000
#define IDC_LHOTKEY 5001
#define IDC_HOTKEY 5002

#ifndef RC_INVOKED
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "OVDialog.h"
#include "OVTypes.h"

class TfHotKey : public OVDialog {
 public:
  // One started event: its system hot key, named by a global atom.
  struct TRegistration {
    ATOM Atom;
    int32_t JobID;
    const TOVRunnerParams* Event;
  };

  TfHotKey();
  // Unregisters every hot key still registered and frees its atom.
  ~TfHotKey() override;

  bool Config(TOVRunnerParams& params);
  bool Start(TOVRunnerParams& params);
  void Stop(TOVRunnerParams& params);
  static std::string Description(const TOVRunnerParams& params);

  // A press of the hot key with this identifier (the window's WM_HOTKEY).
  void HotKeyPressed(ATOM id);

  HWND Window() const { return wnd_; }
  const std::vector<TRegistration>& Registrations() const { return list_; }

 protected:
  bool OnInit() override;
  void OnOK() override;

 private:
  static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  bool Register(uint16_t shortCut, const TOVRunnerParams& event);
  void ReportFailure(uint16_t shortCut, int32_t jobId);

  HWND wnd_ = nullptr;
  std::vector<TRegistration> list_;
  uint16_t editing_ = 0;
};

// The stored shortcut word; false when the block holds none.
bool ReadHotKeyBlock(const TOVRunnerParams& params, uint16_t& shortCut);

// The hot-key window of the loaded plug-in (nullptr before DMCreate and
// after shutdown).
TfHotKey* HotKeyWindow();
#endif
