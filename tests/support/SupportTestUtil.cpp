#include "SupportTestUtil.h"

#include "TestUtil.h"

namespace supporttest {

namespace {

// Sets the variables for the child to inherit and puts the old values back
// afterwards.
class TEnvScope {
 public:
  explicit TEnvScope(const std::vector<std::string>& env) {
    for (const std::string& e : env) {
      size_t eq = e.find('=');
      std::string name = e.substr(0, eq);
      char old[1024];
      DWORD n = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
      saved_.push_back({name, n > 0 && n < sizeof old, std::string(old, n < sizeof old ? n : 0)});
      SetEnvironmentVariableA(name.c_str(), e.substr(eq + 1).c_str());
    }
  }
  ~TEnvScope() {
    for (const auto& s : saved_)
      SetEnvironmentVariableA(s.name.c_str(), s.had ? s.value.c_str() : nullptr);
  }

 private:
  struct TSaved {
    std::string name;
    bool had;
    std::string value;
  };
  std::vector<TSaved> saved_;
};

HANDLE Start(const std::string& exe, const std::string& args, const std::string& dir,
             const std::vector<std::string>& env, HANDLE stdErr, DWORD* pid) {
  TEnvScope scope(env);
  std::string cmd = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  if (stdErr) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = stdErr;
    si.hStdError = stdErr;
  }
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, stdErr ? TRUE : FALSE, 0, nullptr,
                      dir.empty() ? nullptr : dir.c_str(), &si, &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  if (pid) *pid = pi.dwProcessId;
  return pi.hProcess;
}

}  // namespace

HANDLE StartProgram(const std::string& exe, const std::string& args, const std::string& dir,
                    const std::vector<std::string>& env, DWORD* pid) {
  return Start(exe, args, dir, env, nullptr, pid);
}

TRun RunProgram(const std::string& exe, const std::string& args, const std::string& dir,
                const std::vector<std::string>& env, int timeoutMs) {
  TRun run;
  std::string errDir = testutil::MakeTempDir("stderr");
  std::string errFile = errDir + "stderr.txt";
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE err = CreateFileA(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE process = Start(exe, args, dir, env, err, nullptr);
  CloseHandle(err);
  if (process) {
    run.started = true;
    run.finished = testutil::WaitFor(
        [&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }, timeoutMs);
    if (!run.finished) {
      TerminateProcess(process, 99);
      WaitForSingleObject(process, 10000);
    }
    GetExitCodeProcess(process, &run.exitCode);
    CloseHandle(process);
  }
  run.stdErr = testutil::ReadFileText(errFile);
  testutil::RemoveTree(errDir);
  return run;
}

}  // namespace supporttest
