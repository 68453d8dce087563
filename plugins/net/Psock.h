// TPowersock: a TCP socket with blocking-style operations built on
// asynchronous Windows Sockets notifications. Each object owns a hidden
// window (class "PsockWindowClass") on the thread that created it; every
// wait pumps that thread's messages, so the thread's own windows stay
// responsive, and ends on success, failure, a cancel request or a time
// limit. No wait lasts for ever: with TimeOut 0 a connection or name
// lookup may take ConnectLimit milliseconds and a transfer may go
// IdleLimit milliseconds without moving a byte.
//
// A WM_QUIT that reaches the owning thread during a wait (how a job's run
// is asked to stop) cancels the object; the message is posted again for
// the thread's own loop. Cancelling is final for the object.
//
// The FTP client derives from it; the mail clients use the line and
// transaction primitives.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Socket and connection failures.
class ESockError : public std::runtime_error {
 public:
  explicit ESockError(const std::string& message) : std::runtime_error(message) {}
};
// An operation ended by a cancel request.
class EAbortError : public ESockError {
 public:
  explicit EAbortError(const std::string& message) : ESockError(message) {}
};

// Notification messages of the hidden window.
constexpr UINT WM_PSOCK_EVENT = WM_USER + 101;   // socket events
constexpr UINT WM_PSOCK_LOOKUP = WM_USER + 102;  // name lookup done, incoming connection

// "<code>:<text>" from the Windows Sockets error table, or
// "Unknown Error No. <code>".
std::string SocketErrorMessage(int code);

class TPowersock;
using TOnErrorEvent = std::function<void(TPowersock* Sender, uint16_t Errno, const std::string& Errmsg)>;
using THandlerEvent = std::function<void(bool& Handled)>;
using TNotifyEvent = std::function<void(TPowersock* Sender)>;

class TPowersock {
 public:
  TPowersock();
  virtual ~TPowersock();
  TPowersock(const TPowersock&) = delete;
  TPowersock& operator=(const TPowersock&) = delete;

  std::string Host;
  int32_t Port = 0;
  // When not empty, the TCP connection goes here instead of to Host.
  std::string Proxy;
  int32_t ProxyPort = 0;
  // Milliseconds for every wait; 0: the limits below (the environment
  // variable ORVANE_NET_LIMITS="<connect>,<idle>" may shorten them).
  int32_t TimeOut = 0;
  int32_t ConnectLimit = 60000;
  int32_t IdleLimit = 120000;

  // The last reply read by a transaction: its number and first line (line
  // end included).
  uint16_t ReplyNumber = 0;
  std::string ReplyText;

  TOnErrorEvent OnError;
  THandlerEvent OnInvalidHost;
  THandlerEvent OnConnectionRequired;
  TNotifyEvent OnConnectionFailed;
  // Asked a few times a second while a wait lasts; true ends the wait and
  // every later one as a cancel does (how a job's stop request reaches a
  // step). A helper connection asks its owner's.
  std::function<bool()> StopRequested;

  bool Connected() const { return connected_; }
  bool Cancelled() const { return cancelled_ || (cancelOwner_ && cancelOwner_->cancelled_); }
  bool TimedOut() const { return timedOut_; }

  // Opens the TCP connection to Proxy:ProxyPort or Host:Port.
  virtual void Connect();
  // Closes the connection (unsent data is discarded).
  void Disconnect();
  // Ends the running wait and every later one. Safe from any thread.
  void Cancel() { cancelled_ = true; }
  // A helper connection (an FTP data connection) that ends when its owner
  // is cancelled, and cancels its owner when a stop request reaches it.
  void FollowCancel(TPowersock& owner) { cancelOwner_ = &owner; }

  void Write(const void* data, size_t size);
  void WriteLn(const std::string& text);
  // Sends a prepared text from its start in pieces of at most 64 KB.
  void SendStream(const std::string& data);
  // One line up to and including its LF. Raises when the connection ends
  // before the LF or the line passes 64 KB.
  std::string ReadLn();
  // The next line; false at a clean end of the data. A last line without
  // LF comes back as it is.
  bool ReadLine(std::string& line);
  // Up to size bytes; 0 once the peer has closed.
  size_t ReadRaw(char* out, size_t size);
  // Sends the command, reads one line and its continuation lines; the
  // reply number is the line's leading digits.
  virtual uint16_t Transaction(const std::string& command);

  // Data connections of the FTP client.
  // Connects to an address without a name lookup.
  void ConnectTo(const sockaddr_in& address);
  // Listens on the address (port chosen by the system), backlog 1.
  void Listen(const sockaddr_in& address);
  // Waits for one connection from `from` (others are refused); the
  // listener is closed and the accepted socket takes its place.
  void Accept(const in_addr& from);
  // Closes so that queued data still reaches the peer.
  void CloseGracefully();

  sockaddr_in LocalAddress() const;
  sockaddr_in PeerAddress() const;

  // Closes the connection when the peer has closed it meanwhile; true when
  // it is (still) connected.
  bool CheckConnected();

 protected:
  // Raises ESockError for a Windows Sockets error code, firing OnError.
  [[noreturn]] void RaiseSocketError(int code);
  // Raises ESockError with a text of our own, firing OnError with code 0.
  [[noreturn]] void RaiseSocketText(const std::string& text);
  void ResetBuffer() { rpos_ = rlen_ = 0; }
  // Bytes read ahead of the caller.
  size_t Buffered() const { return rlen_ - rpos_; }
  // Makes the next waits use this limit (0: back to the usual ones).
  void OverrideLimit(int32_t ms) { override_ = ms; }

 private:
  friend LRESULT CALLBACK PsockWindowProc(HWND, UINT, WPARAM, LPARAM);
  enum class TWaitEnd { Ready, Expired, Cancelled };
  enum class TLimit { Connect, Idle };

  DWORD Limit(TLimit kind) const;
  TWaitEnd Wait(const std::function<bool()>& ready, DWORD limit);
  void Pump();
  // True once StopRequested said so; cancels this object and its owner.
  bool PollStop();
  void Notify(UINT msg, WPARAM wp, LPARAM lp);
  in_addr Resolve(const std::string& name);
  void NewSocket();
  void CloseSocket();
  void DropNotifications();
  void Select(long events);
  // recv with waits: > 0 bytes, 0 at the peer's close.
  size_t Receive(char* out, size_t size, const char* abortText);
  void WaitConnected(const char* canceledText, const char* timedOutText, const char* failedText);

  HWND wnd_ = nullptr;
  SOCKET sock_ = INVALID_SOCKET;
  bool started_ = false;
  bool connected_ = false;
  std::atomic<bool> cancelled_{false};
  TPowersock* cancelOwner_ = nullptr;
  bool timedOut_ = false;
  int32_t override_ = 0;
  DWORD lastStopPoll_ = 0;

  // Set by the window's notifications.
  long events_ = 0;
  int connectError_ = 0;
  bool peerClosed_ = false;
  HANDLE lookup_ = nullptr;
  bool lookupDone_ = false;
  int lookupError_ = 0;
  std::vector<char> hostent_;

  // The transfer buffer: every receive goes through it.
  std::vector<char> buffer_;
  size_t rpos_ = 0, rlen_ = 0;
};
