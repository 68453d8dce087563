// A download's data goes to a temporary file in the target's folder, which
// becomes the target only when committed; otherwise it is removed and the
// target stays as it was. Used by the FTP and the HTTP client.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "OVError.h"

class TPendingFile {
 public:
  explicit TPendingFile(const std::string& target) : target_(target), file_(INVALID_HANDLE_VALUE) {
    char name[MAX_PATH];
    if (!GetTempFileNameA(FolderOf(target).c_str(), "ovd", 0, name))
      throw std::runtime_error(Format("Cannot create \"%s\"", target.c_str()));
    temp_ = name;
    file_ = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~TPendingFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (!committed_) DeleteFileA(temp_.c_str());
  }
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  void Write(const char* data, size_t size) {
    DWORD written = 0;
    if (file_ == INVALID_HANDLE_VALUE || !WriteFile(file_, data, static_cast<DWORD>(size), &written, nullptr) ||
        written != size)
      throw std::runtime_error(Format("Cannot write \"%s\"", target_.c_str()));
  }
  void Commit() {
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (!MoveFileExA(temp_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
      throw std::runtime_error(Format("Cannot replace \"%s\"", target_.c_str()));
    committed_ = true;
  }

 private:
  static std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/:");
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash + 1);
  }
  std::string target_;
  std::string temp_;
  HANDLE file_;
  bool committed_ = false;
};
