// Requests that other programs of ours send to the running host. A window
// message cannot carry a pointer into another process, so each request is a
// WM_COPYDATA record, which the system copies across, sent to the main
// window (class "TfOrvane").
//
// Run a job (sent by ovjobrun.exe for desktop shortcuts):
//   dwData  OV_COPYDATA_RUNJOB
//   lpData  int32 job ID (little-endian), then the cause text and its zero
//   cbData  4 + cause length + 1 (at most OV_RUNJOB_MAX_SIZE)
//   result  OV_RUNJOB_NOJOB, OV_RUNJOB_DONE or OV_RUNJOB_NOTREADY
// This header is included by the sender too: it needs nothing but windows.h.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr ULONG_PTR OV_COPYDATA_RUNJOB = 0x4F56524A;  // "OVRJ"
constexpr DWORD OV_RUNJOB_MIN_SIZE = 4 + 1;
constexpr DWORD OV_RUNJOB_MAX_SIZE = 4 + 1024;

// No job has the ID (or the record is not a valid request): nothing was done.
constexpr LRESULT OV_RUNJOB_NOJOB = 0;
// The job exists and was asked to run, exactly as the RunJob service does
// (a job that is running or being edited does not start again).
constexpr LRESULT OV_RUNJOB_DONE = 1;
// The jobs are not loaded: start-up has not got that far, or the exit
// sequence has released them. Nothing was done; the sender may ask again.
constexpr LRESULT OV_RUNJOB_NOTREADY = 2;

// The main window's WM_COPYDATA handler, on the main thread.
LRESULT HandleCopyData(const COPYDATASTRUCT* cds);
