// The real orvane.exe with the delivered plug-ins, jobs of General actions
// written as files, runs started through the host's RunJob message and
// followed through the handle of the run.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "BasicsBlocks.h"
#include "JobFileBytes.h"
#include "TestUtil.h"

constexpr int32_t kBasicsID = 9680;

// A step of the General plug-in.
jobbytes::StepSpec BasicsStep(int method, const std::string& name, const basicsblocks::Bytes& block);

class BasicsProgram : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a job file (ToLog on) into the program's Jobs folder.
  void AddJob(int32_t id, const std::string& name, const std::vector<jobbytes::StepSpec>& steps);
  void Start(const std::vector<std::string>& env = {});
  // Asks the host to run the job with a cause, as a trigger does; the
  // handle of the run (ours to close), or nullptr when no job has the ID.
  HANDLE Run(int32_t id, const std::string& cause);
  // Waits for a run's handle; closes it.
  bool Finished(HANDLE& run, int timeoutMs = 15000);
  // Ends the program the way the user does and reads its logs.
  void Close();
  std::vector<std::string> JobLog(int32_t id) const;
  std::vector<std::string> MainLog() const;

  // A dialog of the program (a message box, the question window) by its
  // caption, waited for.
  HWND WaitForBox(const std::string& caption, int timeoutMs = 10000) const;

  std::unique_ptr<testutil::TProgram> program_;
  HANDLE process_ = nullptr;
};

// Log lines without their level and time stamp.
std::vector<std::string> LogTexts(const std::vector<std::string>& lines);
bool Has(const std::vector<std::string>& lines, const std::string& line);
bool HasPrefix(const std::vector<std::string>& lines, const std::string& prefix);
// The lines of one job run from "Executing" on.
std::string Joined(const std::vector<std::string>& lines);

// The texts of a window's static children, joined by "|".
std::string BoxText(HWND box);
// Presses a button of a window of another process.
void PressButton(HWND box, int id);
