// "FTP Upload": sends local files, named one per line or by wildcard
// patterns, into one FTP directory, retrying each connection and each file.
#include "uUpload.h"

#include <windows.h>

#include "FtpScr.h"
#include "OVError.h"
#include "OVPluginHost.h"
#include "uDM.h"

namespace {

constexpr int kFileAttempts = 9;

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class TUpload {
 public:
  explicit TUpload(TFtpStep& step) : step_(step) {}
  int Count = 0;

  void File(const std::string& path) {
    for (int attempt = 1; attempt <= kFileAttempts; ++attempt) {
      try {
        step_.Client.SetTransferType(2);
        step_.Client.Upload(path, "");
        ++Count;
        return;
      } catch (const std::exception&) {
        if (step_.Stopped()) throw;
        if (!FileExists(path)) {
          HostLog(OV_LOG_ERROR, Format("File \"%s\" does not exist.", path.c_str()));
          return;
        }
        HostLog(OV_LOG_ERROR, Format("Attempt %d: File \"%s\" upload failed.", attempt, path.c_str()));
      }
    }
  }

 private:
  TFtpStep& step_;
};

bool ExecUpload(TOVMethodParams& params) {
  TFtpSettings stored = UploadDefaults();
  if (!ReadFtpSettings(params, stored)) {
    HostLog(OV_LOG_ERROR, "The settings of \"FTP Upload\" are incomplete. Reconfigure this step.");
    return false;
  }
  const TFtpSettings s = ExpandSettings(stored);
  auto step = std::make_unique<TFtpStep>(s);
  TUpload upload(*step);
  bool ok = false;
  std::string error;
  if (step->Connect("Attempt %d: Connect failed.")) {
    try {
      // An empty directory means the login directory: no CWD, which some
      // servers refuse without an argument.
      if (!s.Dir.empty()) step->Client.ChangeDir(s.Dir);
      step->RemoteDir = s.Dir;
      ok = true;
      for (const std::string& raw : SplitLines(s.Files)) {
        const std::string line = HostExpandVars(raw);
        if (HasWildcard(line)) {
          for (const std::string& file : MatchingFiles(line)) upload.File(file);
        } else {
          upload.File(line);
        }
      }
    } catch (const std::exception& e) {
      ok = false;
      error = step->ErrorText(&e);
    }
  } else {
    error = step->ErrorText(nullptr);
  }
  step.reset();
  if (!ok) HostLog(OV_LOG_ERROR, error);
  HostLog(OV_LOG_INFO, Format("%d files uploaded", upload.Count));
  return ok;
}

bool ConfigUpload(TOVMethodParams& params) { return ConfigFtpTransfer(params, IDD_FTPUPLOAD, true, UploadDefaults()); }

void DescrUpload(TOVMethodParams& params, std::string& descr) {
  std::string host, dir;
  if (ReadDescriptionTexts(params, host, dir)) descr = Format("Upload to %s (%s)", host.c_str(), dir.c_str());
}

}  // namespace

TMethodCase UploadCase() { return TMethodCase{.Exec = ExecUpload, .Config = ConfigUpload, .Descr = DescrUpload}; }
