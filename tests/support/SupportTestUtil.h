// Running the helper programs from a test: a command line, extra
// environment variables, and what the program wrote to standard error.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace supporttest {

struct TRun {
  bool started = false;
  bool finished = false;  // false: still running at the time limit (then killed)
  DWORD exitCode = 0;
  std::string stdErr;
};

// Starts `exe args` in dir with env ("NAME=value") added to this process's
// environment, waits up to timeoutMs while pumping this thread's messages.
TRun RunProgram(const std::string& exe, const std::string& args, const std::string& dir,
                const std::vector<std::string>& env, int timeoutMs = 30000);

// Starts the program without waiting; the caller owns the process handle.
HANDLE StartProgram(const std::string& exe, const std::string& args, const std::string& dir,
                    const std::vector<std::string>& env, DWORD* pid = nullptr);

// The environment every helper run of the tests uses: messages on stderr.
inline const char* kQuiet = "OV_SUPPORT_QUIET=1";

}  // namespace supporttest
