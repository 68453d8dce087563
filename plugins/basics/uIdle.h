// The idle trigger ("On idle", trigger 4): runs its event's job when the
// keyboard and mouse have been left alone for a number of minutes.
//
// One TIdleList lives from the data module's creation to the plug-in's
// shutdown. Its detector watches the input from the start, so idle time
// counts also while no event is started.
#pragma once

#define IDD_IDLE 5400
#define IDC_LIDLE 5401
#define IDC_EMINUTES 5402
#define IDC_UDMINUTES 5403
#define IDC_LMINUTES 5404

#ifndef RC_INVOKED
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "IdleComp.h"
#include "OVTypes.h"

constexpr int32_t kIdleMinMinutes = 1;
constexpr int32_t kIdleMaxMinutes = 32767;
constexpr int32_t kIdleDefaultMinutes = 10;

// The stored minutes; false when the block holds none.
bool ReadIdleBlock(const TOVRunnerParams& params, int32_t& minutes);

class TIdleList {
 public:
  // hooks: restwatch as loaded (it may have failed); idleBeforeMs: see
  // TIdle.
  explicit TIdleList(const TRestWatch& hooks, int64_t idleBeforeMs = 0);

  bool Start(TOVRunnerParams& params);
  void Stop(TOVRunnerParams& params);
  // Runs the job of every event whose minutes of idleness have passed in
  // this idle period and that has not run in it yet.
  void Check();

  TIdle Idle;
  size_t Count() const { return list_.size(); }

 private:
  struct TEntry {
    TOVRunnerParams* Event;
    int64_t DueMs;
    int64_t RanFor;  // the last input before the run; -1 none
  };
  std::vector<TEntry> list_;
  std::string hooksError_;
};

// The idle list of the loaded plug-in (nullptr outside its life).
TIdleList* IdleList();
#endif
