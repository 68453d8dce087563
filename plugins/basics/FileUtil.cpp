#include "FileUtil.h"

#include <cctype>
#include <cstring>

#include "OVFileMask.h"

namespace {

uint64_t Join(DWORD high, DWORD low) { return static_cast<uint64_t>(high) << 32 | low; }

bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(const std::string& p) {
  return p.size() >= 2 && isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':';
}

// Length of "\\server\share" at the start of p (0 when p is no UNC path).
size_t UncShareEnd(const std::string& p) {
  if (p.size() < 2 || !IsSlash(p[0]) || !IsSlash(p[1])) return 0;
  size_t server = p.find_first_of("\\/", 2);
  if (server == std::string::npos || server == 2) return 0;
  size_t share = p.find_first_of("\\/", server + 1);
  if (share == server + 1) return 0;
  return share == std::string::npos ? p.size() : share;
}

}  // namespace

// ------------------------------------------------------------ names

bool FileMaskMatches(const std::string& mask, const std::string& name) {
  return FileMaskMatch(ExtractFileName(mask), ExtractFileName(name));
}

bool NamePassesMasks(const std::string& name, const std::vector<std::string>& include,
                     const std::vector<std::string>& exclude) {
  bool in = false;
  for (const auto& m : include)
    if (FileMaskMatches(m, name)) {
      in = true;
      break;
    }
  if (!in) return false;
  for (const auto& m : exclude)
    if (FileMaskMatches(m, name)) return false;
  return true;
}

bool HasWildcards(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

// ------------------------------------------------------------ paths

std::string WithTrailingBackslash(const std::string& path) {
  if (path.empty()) return path;
  if (path.size() == 1 && isalpha(static_cast<unsigned char>(path[0]))) return path + ":\\";
  char last = path.back();
  return last == '\\' || last == ':' ? path : path + "\\";
}

std::string WithoutTrailingBackslash(const std::string& path) {
  if (path.size() <= 1 || path.back() != '\\') return path;
  if (path.size() == 3 && IsDriveLetter(path)) return path;
  return path.substr(0, path.size() - 1);
}

std::string ExtractFilePath(const std::string& path) {
  size_t sep = path.find_last_of("\\/:");
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string ExtractFileName(const std::string& path) {
  size_t sep = path.find_last_of("\\/:");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

bool IsAbsolutePath(const std::string& path) {
  if (IsDriveLetter(path)) return path.size() >= 3 && IsSlash(path[2]);
  return UncShareEnd(path) != 0;
}

bool IsRootFolder(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && IsSlash(f.back())) f.pop_back();
  if (f.size() == 1 && IsSlash(f[0])) return true;
  if (f.size() == 2 && IsDriveLetter(f)) return true;
  size_t end = UncShareEnd(f);
  return end != 0 && end == f.size();
}

std::string PathRoot(const std::string& path) {
  if (IsDriveLetter(path)) return path.substr(0, 2) + "\\";
  size_t end = UncShareEnd(path);
  return end ? path.substr(0, end) + "\\" : std::string();
}

bool ForceDirectories(const std::string& folder, DWORD* error) {
  std::string dir = WithoutTrailingBackslash(folder);
  if (dir.empty()) {
    if (error) *error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  DWORD attr = GetFileAttributesA(dir.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES) {
    if (attr & FILE_ATTRIBUTE_DIRECTORY) return true;
    if (error) *error = ERROR_ALREADY_EXISTS;  // a file of that name
    return false;
  }
  // A drive or share that is not there is not created by its parents.
  if (IsRootFolder(dir) || dir.size() < 3) {
    if (error) *error = GetLastError();
    return false;
  }
  std::string parent = ExtractFilePath(dir);
  if (!parent.empty() && parent != dir && !ForceDirectories(parent, error)) return false;
  if (CreateDirectoryA(dir.c_str(), nullptr)) return true;
  DWORD e = GetLastError();
  attr = GetFileAttributesA(dir.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) return true;  // made meanwhile
  if (error) *error = e;
  return false;
}

std::vector<std::string> ListLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t\r") != std::string::npos) lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

// ------------------------------------------------------------ listings

DWORD ListFolder(const std::string& folder, uint32_t take, std::vector<TFoundFile>& out,
                 const std::string& pattern) {
  const std::string dir = WithTrailingBackslash(folder);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileExA((dir + pattern).c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                              FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    // A pattern without a match in a folder that exists is an empty list.
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_NO_MORE_FILES) {
      DWORD attr = GetFileAttributesA(WithoutTrailingBackslash(dir).c_str());
      if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_SUCCESS;
      if (err == ERROR_NO_MORE_FILES || dir.empty()) return ERROR_SUCCESS;
      return ERROR_PATH_NOT_FOUND;
    }
    return err ? err : ERROR_PATH_NOT_FOUND;
  }
  // Hidden files, system files and folders only when asked for; every
  // other file whatever its archive bit.
  const uint32_t refused = (feHidden | feSystem | feFolders) & ~take;
  do {
    if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, "..")) continue;
    if (fd.dwFileAttributes & refused) continue;
    TFoundFile f;
    f.Name = fd.cFileName;
    f.Attr = fd.dwFileAttributes;
    f.Size = Join(fd.nFileSizeHigh, fd.nFileSizeLow);
    f.WriteTime = Join(fd.ftLastWriteTime.dwHighDateTime, fd.ftLastWriteTime.dwLowDateTime);
    out.push_back(std::move(f));
  } while (FindNextFileA(h, &fd));
  DWORD err = GetLastError();
  FindClose(h);
  return err == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : (err ? err : ERROR_READ_FAULT);
}

bool IsNotFoundError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// ------------------------------------------------------------ walks

bool TFolderGuard::Enter(const std::string& folder) {
  if (Depth() >= MaxDepth) return false;
  TId id{0, 0, 0};
  HANDLE h = CreateFileA(WithoutTrailingBackslash(folder).c_str(), 0,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info))
      id = TId{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    CloseHandle(h);
  }
  // Without an identity (a file system that has none) only the depth
  // limit ends a loop.
  if (id.High || id.Low)
    for (const TId& p : path_)
      if (p.Volume == id.Volume && p.High == id.High && p.Low == id.Low) return false;
  path_.push_back(id);
  return true;
}

void TFolderGuard::Leave() {
  if (!path_.empty()) path_.pop_back();
}
