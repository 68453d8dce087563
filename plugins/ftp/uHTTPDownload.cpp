// "HTTP Download": fetches a list of documents from one web server,
// directly or through a proxy, into one local folder; each document gets up
// to nine tries.
#include <winsock2.h>

#include "uHTTPDownload.h"

#include <windows.h>

#include "NMHttp.h"
#include "NetUtil.h"
#include "OVError.h"
#include "OVPluginHost.h"
#include "uDM.h"

namespace {

constexpr int kAttempts = 9;

bool ExecHttpDownload(TOVMethodParams& params) {
  TFtpSettings stored = HttpDownloadDefaults();
  if (!ReadFtpSettings(params, stored)) {
    HostLog(OV_LOG_ERROR, "The settings of \"HTTP Download\" are incomplete. Reconfigure this step.");
    return false;
  }
  const TFtpSettings s = ExpandSettings(stored);
  TNMHTTP client;
  FollowJobStop(client);
  client.Host = s.Host;
  client.Port = static_cast<int32_t>(s.Port);
  client.UserId = s.UserID;
  client.Password = s.Password;
  if (s.UseProxy) {
    client.Proxy = s.Proxy;
    client.ProxyPort = static_cast<int32_t>(s.ProxyPort);
  }
  const std::string saveDir = JoinFolder(s.Dir);
  const TUrl configured{s.Host, static_cast<int>(s.Port), "/"};
  int count = 0;
  for (const std::string& raw : SplitLines(s.Files)) {
    const std::string line = HostExpandVars(raw);
    const std::string local = saveDir + LocalDocumentName(line);
    TUrl url = configured;
    url.Path = !line.empty() && line[0] == '/' ? line : "/" + line;
    // Through a proxy the request names the whole address.
    const std::string target = s.UseProxy ? AbsoluteUrl(url) : url.Path;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
      try {
        client.Get(target, local);
        ++count;
        break;
      } catch (const EHttpFinal& e) {
        HostLog(OV_LOG_ERROR, e.what());
        break;
      } catch (const std::exception& e) {
        if (client.Cancelled()) {
          HostLog(OV_LOG_INFO, Format("%d files downloaded", count));
          return false;
        }
        HostLog(OV_LOG_ERROR, Format("Attempt %d: File \"%s\" Download failed.", attempt, target.c_str()));
        if (attempt == kAttempts) HostLog(OV_LOG_ERROR, e.what());
      }
    }
  }
  HostLog(OV_LOG_INFO, Format("%d files downloaded", count));
  return true;
}

bool ConfigHttpDownload(TOVMethodParams& params) {
  return ConfigFtpTransfer(params, IDD_HTTPDOWNLOAD, false, HttpDownloadDefaults());
}

void DescrHttpDownload(TOVMethodParams& params, std::string& descr) {
  std::string host, dir;
  if (ReadDescriptionTexts(params, host, dir))
    descr = Format("HTTP-download from %s (save in \"%s\")", host.c_str(), dir.c_str());
}

}  // namespace

TMethodCase HttpDownloadCase() {
  return TMethodCase{.Exec = ExecHttpDownload, .Config = ConfigHttpDownload, .Descr = DescrHttpDownload};
}
