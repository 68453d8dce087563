// TNMFTP: the FTP client (RFC 959) on top of TPowersock: login through the
// firewall styles, active (PORT) and passive (PASV) data connections,
// transfers in both types. Replies are read by one reader with strict
// rules: three digits followed by a space or "-", multi-line replies ending
// at the line with the same code and a space.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "Psock.h"

// A command the server refused; the message is the reply's first line.
class FTPException : public std::runtime_error {
 public:
  explicit FTPException(const std::string& message) : std::runtime_error(message) {}
};

enum TCmdType {
  cmdChangeDir,
  cmdMakeDir,
  cmdDelete,
  cmdRemoveDir,
  cmdList,
  cmdRename,
  cmdUpRestore,
  cmdDownRestore,
  cmdDownload,
  cmdUpload,
  cmdAppend,
  cmdReInit,
  cmdAllocate,
  cmdNList,
  cmdDoCommand,
  cmdCurrentDir
};

enum TFirewallType { FTUser = 0, FtOpen = 1, FtSite = 2 };

using TFailureEvent = std::function<void(bool& Handled, TCmdType Trans_Type)>;
using TUnsupportedEvent = std::function<void(TCmdType Trans_Type)>;
using TNMListItem = std::function<void(const std::string& Listing)>;

// A reply line split into its code and kind; false when the line is not a
// reply line (three digits followed by a space, "-" or the line end).
struct TReplyLine {
  uint16_t Code = 0;
  bool More = false;  // "-": a multi-line reply begins
};
bool ParseReplyLine(const std::string& line, TReplyLine& reply);
// The data port of a PASV reply ("227 ... (h1,h2,h3,h4,p1,p2)"); false
// when it cannot be read, a number is not 0..255 or the port is 0.
bool ParsePasvPort(const std::string& reply, uint16_t& port);
// True when a text may go into a command line: no CR, LF or NUL.
bool SafeCommandText(const std::string& text);

class TNMFTP : public TPowersock {
 public:
  TNMFTP();

  std::string UserID;
  std::string Password;
  bool Passive = false;
  TFirewallType FirewallType = FTUser;
  std::string FWUserID;
  std::string FWPassword;
  bool FWAuthenticate = false;

  TFailureEvent OnFailure;
  TUnsupportedEvent OnUnSupportedFunction;
  TNMListItem OnListItem;

  void Connect() override;
  // Sends QUIT (when connected) and closes; raises FTPException with the
  // reply when the server answers it with 301 to 599.
  void Quit();

  // Each returns normally when the command succeeded or a failure handler
  // set Handled; otherwise it raises FTPException with the reply.
  void ChangeDir(const std::string& dir);
  void MakeDir(const std::string& dir);
  void RemoveDir(const std::string& dir);
  void Delete(const std::string& file);
  void DoCommand(const std::string& line);
  std::string CurrentDir();
  // 1 ASCII, 2 image, 3 local 8-bit.
  void SetTransferType(int type);
  void Rename(const std::string& oldName, const std::string& newName);
  // An empty remote name stores under the local file's bare name.
  void Upload(const std::string& localFile, const std::string& remoteName);
  void UploadAppend(const std::string& localFile, const std::string& remoteName);
  // An empty local name writes to the remote name. The data goes to a
  // temporary file beside the target, which replaces the target only once
  // the server has confirmed the transfer.
  void Download(const std::string& remoteName, const std::string& localFile);
  void List();
  void NList();

  // Reads one whole reply (all its lines); its code. Raises on a line that
  // is not a reply or a connection that ends inside the reply.
  uint16_t ReadReply();
  // Sends one command line and reads its reply. Refuses a line with CR,
  // LF or NUL in it.
  uint16_t Transaction(const std::string& command) override;

 private:
  void Login();
  void RequireConnection();
  // Fires the failure events for the last reply; raises unless handled.
  void Fail(TCmdType type, bool unsupported);
  bool Simple(TCmdType type, const std::string& command, uint16_t failFrom);
  // Opens the data connection, sends the command and runs the body on the
  // data connection; true when the server confirmed the transfer.
  bool Transfer(TCmdType type, const std::string& command, const std::function<void(TPowersock& data)>& body);
  void StoreFile(TCmdType type, const std::string& verb, const std::string& localFile, const std::string& remoteName);
  void Listing(TCmdType type, const std::string& command);
  bool listing_ = false;
};
