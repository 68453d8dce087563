// Helpers shared by the tests: temporary folders, files, waiting with a
// message pump, and the real orvane.exe started on a folder of its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testutil {

// A new empty folder under the temp directory, with a trailing backslash.
std::string MakeTempDir(const std::string& tag);
void RemoveTree(const std::string& dir);
// Creates a folder with any missing parents.
void MakeDirs(const std::string& dir);

std::string ReadFileText(const std::string& path);
std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Names of the files in dir matching pattern, sorted.
std::vector<std::string> ListFiles(const std::string& dir, const std::string& pattern);
// Lines of a text file (CR LF or LF), without line ends.
std::vector<std::string> ReadLines(const std::string& path);

// The built test plug-in <name>.ovp; copies it to dir\<fileName or name.ovp>.
std::string TestPluginPath(const std::string& name);
void CopyTestPlugin(const std::string& name, const std::string& dir,
                    const std::string& fileName = "");

// Waits until cond() holds, pumping this thread's messages; false on timeout.
bool WaitFor(const std::function<bool()>& cond, int timeoutMs);
void Pump();

// Strips the time stamp "<date> <time>: " from a log line.
std::string LogText(const std::string& line);

// The real orvane.exe copied with its plug-ins (or chosen ones) into a
// folder of its own and started there.
class TProgram {
 public:
  // Copies dist/orvane.exe and the support programs into a fresh folder.
  explicit TProgram(const std::string& tag);
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  const std::string& Dir() const { return dir_; }
  // Every registry key this program writes lives under RegistryRoot() in
  // HKEY_CURRENT_USER (the environment variable ORVANE_REGISTRY, set in this
  // process while the object lives, so that programs started from here,
  // ovjobrun included, pass it on). RegKey maps a key of the program:
  // RegKey(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvane\\Settings").
  const std::string& RegistryRoot() const { return regRoot_; }
  std::string RegKey(HKEY hive, const std::string& path) const;
  std::string JobsDir() const { return dir_ + "Jobs\\"; }
  std::string LogsDir() const { return dir_ + "Logs\\"; }
  // Copies a test plug-in into Plugins\<sub>\.
  void AddTestPlugin(const std::string& name, const std::string& sub = "");
  // Copies the delivered plug-ins of dist/Plugins.
  void AddDistPlugins();

  // Starts the program; waits until its main window exists.
  bool Start(const std::string& args = "", const std::vector<std::string>& env = {});
  HWND AppWindow() const;
  HWND MainWindow() const;
  // The CloseHost service: the exit sequence.
  void Close();
  // Waits for the process to end; false on timeout.
  bool WaitExit(int timeoutMs);
  DWORD ExitCode() const;
  DWORD ProcessId() const { return pid_; }
  bool Running() const;
  void Kill();
  // Lines of the main log file / a job's log file, time stamps kept.
  std::vector<std::string> MainLogLines() const;

 private:
  std::string dir_;
  std::string regRoot_;
  std::string savedRegRoot_;
  bool hadRegRoot_ = false;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
};

// A top-level window of a process by class name (empty: any class).
HWND FindProcessWindow(DWORD pid, const std::string& className);
// How many top-level windows of the class the process shows ("#32768": its
// open menus).
int VisibleProcessWindows(DWORD pid, const std::string& className);

}  // namespace testutil
