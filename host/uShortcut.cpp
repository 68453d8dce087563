// Desktop shortcuts that start a job through ovjobrun.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cctype>
#include <stdexcept>
#include <string>

#include "Host.h"
#include "OVClassesJob.h"
#include "OVError.h"
#include "OVShell.h"
#include "uMainExtras.h"

namespace {

template <class T>
struct TComPtr {
  T* p = nullptr;
  ~TComPtr() {
    if (p) p->Release();
  }
};

std::string DesktopFolder() {
  char path[MAX_PATH] = "";
  HRESULT hr = SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
  if (FAILED(hr) || !path[0])
    throw std::runtime_error("Cannot create the shortcut: the desktop folder is not known.");
  return path;
}

bool IsDeviceName(const std::string& base) {
  std::string up;
  for (char c : base) up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (up == "CON" || up == "PRN" || up == "AUX" || up == "NUL") return true;
  return up.size() == 4 && (up.compare(0, 3, "COM") == 0 || up.compare(0, 3, "LPT") == 0) &&
         up[3] >= '1' && up[3] <= '9';
}

std::wstring Wide(const std::string& s) {
  int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
  w.resize(w.size() - 1);
  return w;
}

void Check(HRESULT hr, const std::string& path) {
  if (FAILED(hr))
    throw std::runtime_error(Format("Cannot create the shortcut \"%s\": %s.", path.c_str(),
                                    SystemErrorText(static_cast<DWORD>(hr)).c_str()));
}

}  // namespace

// The job's name made a file name that stays inside the folder: path
// separators, the characters Windows refuses and ".." become "_", the text
// after the last dot goes, and what would be empty or a device name is
// made safe.
std::string ShortcutBaseName(const std::string& jobName) {
  std::string s;
  for (char c : jobName) {
    unsigned char u = static_cast<unsigned char>(c);
    s += (u < 32 || std::string("\\/:*?\"<>|").find(c) != std::string::npos) ? '_' : c;
  }
  for (size_t p; (p = s.find("..")) != std::string::npos;) s.replace(p, 2, "_");
  size_t dot = s.rfind('.');
  if (dot != std::string::npos) s.erase(dot);
  while (!s.empty() && (s.back() == ' ' || s.back() == '.')) s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  if (s.empty()) s = "Job";
  if (IsDeviceName(s)) s = "_" + s;
  return s;
}

std::string CreateJobShortcut(const TOVJob& job, const std::string& folder) {
  const std::string dir = IncludeTrailingBackslash(folder.empty() ? DesktopFolder() : folder);
  const std::string base = dir + ShortcutBaseName(job.Name());
  std::string path = base + ".lnk";
  for (int i = 1; GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
    if (i > 9999) throw std::runtime_error(Format("Cannot create the shortcut \"%s\": no free name.", path.c_str()));
    path = base + Format("(%d).lnk", i);
  }

  TComScope com;
  TComPtr<IShellLinkA> link;
  Check(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         reinterpret_cast<void**>(&link.p)),
        path);
  const std::string program = ProgramDir();
  Check(link.p->SetPath((program + "ovjobrun.exe").c_str()), path);
  Check(link.p->SetWorkingDirectory(program.c_str()), path);
  Check(link.p->SetArguments(Format("$%08X", static_cast<unsigned>(job.ID())).c_str()), path);
  Check(link.p->SetDescription("Starting Orvane' Job"), path);
  TComPtr<IPersistFile> file;
  Check(link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p)), path);
  Check(file.p->Save(Wide(path).c_str(), TRUE), path);
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    throw std::runtime_error(Format("Cannot create the shortcut \"%s\".", path.c_str()));
  return path;
}
