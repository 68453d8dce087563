// The alarm clock trigger ("Alarm clock"): runs its event's job at one or
// more times of day, every day, on chosen weekdays or on chosen days of the
// month, from a start date on.
//
// One TfAlarmClock lives from the data module's creation to the plug-in's
// shutdown. Its hidden window carries the clock that all started alarm
// events share (ticking on the host's main thread while any event is
// started), and the same object is the configuration dialog; the dialog is
// modal on the main thread, whose modal loop keeps the clock ticking while
// the user edits.
#pragma once

// Resource identifiers of the dialog.
#define IDD_ALARMCLOCK 5100

#define IDC_ETIME 5101
#define IDC_BNOW 5102
#define IDC_BADD 5103
#define IDC_BREMOVE 5104
#define IDC_BCLEAR 5105
#define IDC_LVALARMTIMES 5106
#define IDC_CBPERIODICITY 5107
#define IDC_NB 5108
#define IDC_LDAYSOFWEEK 5109
#define IDC_LVDAYSOFWEEK 5110
#define IDC_LDAYSOFMONTH 5111
#define IDC_LLASTDAYNOTE 5112
#define IDC_LVDAYSOFMONTH 5113
#define IDC_STARTDATE 5114

// Commands of the day lists' pop-up menu.
#define IDM_SELECTALL 5150
#define IDM_UNSELECTALL 5151

#ifndef RC_INVOKED
#include <windows.h>

#include <cstdint>

#include "OVDialog.h"
#include "OVPlugin.h"
#include "OVTypes.h"
#include "uAlarmClockSchedule.h"

class TfAlarmClock : public OVDialog {
 public:
  static constexpr UINT kTickMs = 450;
  static constexpr int kWeekDays = 7;
  // "1" to "31" and "#" for the last day of a month.
  static constexpr int kMonthEntries = 32;

  TfAlarmClock();
  // Destroying the window disables the alarm and frees the list.
  ~TfAlarmClock() override;

  // The runner's entries.
  bool Config(TOVRunnerParams& params);
  bool Start(TOVRunnerParams& params);
  void Stop(TOVRunnerParams& params);

  // One tick of the clock: at a given reading, or at the clock seam's now.
  void TickAt(const TClockReading& reading);
  void Tick() { TickAt(ReadClock()); }

  // The shared clock and its list of started events.
  TAlarmClock AlarmClock;
  HWND ClockWindow() const { return clockWnd_; }
  // The tick timer runs only while an event is started.
  bool Ticking() const { return ticking_; }

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;
  void OnCancel() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

 private:
  static LRESULT CALLBACK ClockProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  void UpdateTimer();
  void AlarmClockAlarm(int32_t jobId);
  void AlarmClockMissed(int32_t jobId, TDateTime missed);

  // The dialog.
  void LoadFromBlock();
  void SaveToBlock();
  void KeepLeftState();
  void ShowPage(int page);
  void AddAlarmTime(int32_t ms);
  int32_t PickerTime() const;
  void SetPickerTime(int32_t ms);
  void CheckAll(HWND list, bool checked);
  void AddHints();

  HWND clockWnd_ = nullptr;
  bool ticking_ = false;
  TOVRunnerParams* params_ = nullptr;
  // What the day lists and the start date showed when the dialog last
  // closed: an empty block opens with them.
  bool weekChecks_[kWeekDays];
  bool monthChecks_[kMonthEntries];
  TDateTime startDate_;
};

// The alarm window of the loaded plug-in: made by CreateAlarmClock (in
// DMCreate), gone after ReleaseAlarmClock (at shutdown); nullptr outside.
TfAlarmClock* AlarmClockWindow();
#endif
