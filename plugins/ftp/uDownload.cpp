// "FTP Download": fetches remote files, named one per line or by wildcard
// patterns, into one local folder, retrying each connection and each file.
#include "uDownload.h"

#include <windows.h>

#include "NetUtil.h"
#include "OVError.h"
#include "OVPluginHost.h"
#include "uDM.h"

namespace {

constexpr int kFileAttempts = 9;

std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  return out;
}

class TDownload {
 public:
  TDownload(TFtpStep& step, const std::string& saveDir) : step_(step), saveDir_(JoinFolder(saveDir)) {}
  int Count = 0;

  void Line(const std::string& line) {
    if (!HasWildcard(line)) {
      size_t slash = line.rfind('/');
      const std::string name = slash == std::string::npos ? line : line.substr(slash + 1);
      Fetch(line, saveDir_ + name, line);
      return;
    }
    size_t slash = line.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : line.substr(0, slash + 1);
    const std::string mask = slash == std::string::npos ? line : line.substr(slash + 1);
    if (!dir.empty()) {
      step_.Client.ChangeDir(dir);
      step_.RemoteDir = dir;
    }
    std::vector<std::string> names;
    step_.Client.OnListItem = [&names](const std::string& name) { names.push_back(name); };
    step_.Client.NList();
    step_.Client.OnListItem = nullptr;
    for (const std::string& name : names) {
      if (!PlainFileName(name)) {
        HostLog(OV_LOG_ERROR, Format("Skipped \"%s\" from the server: not a plain file name.", Printable(name).c_str()));
        continue;
      }
      // Inside the pattern's directory now: the file is fetched by its name.
      if (MatchFileMask(mask, name)) Fetch(name, saveDir_ + name, "");
    }
  }

 private:
  // logLine empty: failed attempts are not logged.
  void Fetch(const std::string& remote, const std::string& local, const std::string& logLine) {
    for (int attempt = 1; attempt <= kFileAttempts; ++attempt) {
      try {
        step_.Client.SetTransferType(2);
        step_.Client.Download(remote, local);
        ++Count;
        return;
      } catch (const std::exception&) {
        if (step_.Stopped()) throw;
        if (!logLine.empty())
          HostLog(OV_LOG_ERROR, Format("Attempt %d: File \"%s\" Download failed.", attempt, logLine.c_str()));
      }
    }
  }

  TFtpStep& step_;
  std::string saveDir_;
};

bool ExecDownload(TOVMethodParams& params) {
  TFtpSettings stored = DownloadDefaults();
  if (!ReadFtpSettings(params, stored)) {
    HostLog(OV_LOG_ERROR, "The settings of \"FTP Download\" are incomplete. Reconfigure this step.");
    return false;
  }
  const TFtpSettings s = ExpandSettings(stored);
  auto step = std::make_unique<TFtpStep>(s);
  TDownload download(*step, s.Dir);
  bool ok = false;
  std::string error;
  if (step->Connect("Attempt %d: Connection failed.")) {
    try {
      ok = true;
      for (const std::string& raw : SplitLines(s.Files)) {
        const std::string line = HostExpandVars(raw);
        if (!line.empty()) download.Line(line);
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
  HostLog(OV_LOG_INFO, Format("%d files downloaded", download.Count));
  return ok;
}

bool ConfigDownload(TOVMethodParams& params) { return ConfigFtpTransfer(params, IDD_FTPDOWNLOAD, false, DownloadDefaults()); }

void DescrDownload(TOVMethodParams& params, std::string& descr) {
  std::string host, dir;
  if (ReadDescriptionTexts(params, host, dir))
    descr = Format("FTP-download from %s (save in \"%s\")", host.c_str(), dir.c_str());
}

}  // namespace

TMethodCase DownloadCase() {
  return TMethodCase{.Exec = ExecDownload, .Config = ConfigDownload, .Descr = DescrDownload};
}
