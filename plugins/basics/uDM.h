// The General plug-in ("basics"): one unit per action or trigger, each
// offering its handlers as one case (TMethodCase / TRunnerCase) that the
// data module in uDM.cpp lists at the item's index.
//
// Adding an action or trigger: write its unit (say uAlarmClock.cpp with
// uAlarmClock.h and uAlarmClock.rc, added to CMakeLists.txt), declare its
// case function in the unit's header, and replace the item's "missing"
// line in the table of uDM.cpp by one naming the case.
//
// Resource ids: each unit takes its own range so that units never clash:
//   the about box            100..199
//   action with index i      1000 + 100 * i .. 1099 + 100 * i
//   trigger with index j     5000 + 100 * j .. 5099 + 100 * j
#pragma once

#define OV_BASICS_ID 9680
