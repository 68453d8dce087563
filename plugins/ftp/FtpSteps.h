// What the FTP upload and download actions share: their settings block,
// the client set up from it for one step, and their configuration dialog.
#pragma once

#include "FtpStepsRes.h"

#ifndef RC_INVOKED
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "NMFtp.h"
#include "OVDialog.h"
#include "OVPlugin.h"

// The nine elements of the block, in their stored order; the password in
// plain text here, scrambled in the block.
struct TFtpSettings {
  std::string Files;  // lines separated by CR LF
  std::string Dir;    // FTP directory (upload) or save directory (download)
  std::string Host;
  uint32_t Port = 21;
  std::string UserID = "anonymous";
  std::string Password;
  bool UseProxy = false;
  std::string Proxy;
  uint32_t ProxyPort = 21;
};

TFtpSettings UploadDefaults();
TFtpSettings DownloadDefaults();
TFtpSettings HttpDownloadDefaults();

// An empty block leaves the defaults; false when the block ends early.
bool ReadFtpSettings(const TOVMethodParams& params, TFtpSettings& s);
bool StoreFtpSettings(const TFtpSettings& s, TOVMethodParams& params);
// The stored (unexpanded) host and directory for the step's description.
bool ReadDescriptionTexts(const TOVMethodParams& params, std::string& host, std::string& dir);

// The lines of a list text (CR LF or LF), blank ones kept.
std::vector<std::string> SplitLines(const std::string& text);
bool HasWildcard(const std::string& text);

// Makes a stop request for the job that runs the calling step end the
// client's waits.
void FollowJobStop(TPowersock& client);

// One step's client, set up from the expanded settings. Failures the
// client reports are kept as the step's error text. After a lost
// connection the client connects again on its own and changes into
// RemoteDir (when set) before the next command.
class TFtpStep {
 public:
  explicit TFtpStep(const TFtpSettings& expanded);
  TNMFTP Client;
  std::string RemoteDir;
  // Up to 9 connection attempts; each failed one is logged with the
  // format (one %d for the attempt number).
  bool Connect(const char* attemptFormat);
  // The error text of the step (the recorded one, or the failure's own).
  std::string ErrorText(const std::exception* e) const;
  bool Stopped() const { return Client.Cancelled(); }

 private:
  std::string error_;
};

// The settings with every text expanded (the file list as a whole).
TFtpSettings ExpandSettings(const TFtpSettings& s);

// The upload and download dialog: the same controls on two templates.
class TfFtpTransfer : public OVDialog {
 public:
  TfFtpTransfer(int templateId, bool upload, const TFtpSettings& defaults)
      : OVDialog(templateId), Settings(defaults), upload_(upload), defaults_(defaults) {}
  TFtpSettings Settings;

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;

 private:
  void bFilesClick();
  void bDirClick();
  bool upload_;
  TFtpSettings defaults_;
};

// Shared by the three actions' configuration entries (the HTTP download
// has the FTP download's layout).
bool ConfigFtpTransfer(TOVMethodParams& params, int templateId, bool upload, const TFtpSettings& defaults);
#endif
