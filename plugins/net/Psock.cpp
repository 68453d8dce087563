#include "Psock.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "OVError.h"

namespace {

constexpr size_t kBufferSize = 65536;
constexpr size_t kMaxLine = 65536;
// How often a wait asks whether its job was asked to stop.
constexpr DWORD kStopPollMs = 200;
const char kWindowClass[] = "PsockWindowClass";

struct TErrorRow {
  int code;
  const char* text;
};
const TErrorRow kErrors[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};
static_assert(sizeof kErrors / sizeof kErrors[0] == 50);

HINSTANCE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&SocketErrorMessage), &module);
  return module;
}

bool IsDottedAddress(const std::string& name) {
  if (name.empty()) return false;
  int dots = 0;
  for (char c : name) {
    if (c == '.')
      ++dots;
    else if (c < '0' || c > '9')
      return false;
  }
  return dots == 3 && inet_addr(name.c_str()) != INADDR_NONE;
}

// Tests of the real program shorten the limits of every wait:
// ORVANE_NET_LIMITS=<connect ms>,<idle ms>.
void LimitsFromEnvironment(int32_t& connect, int32_t& idle) {
  char value[64];
  DWORD n = GetEnvironmentVariableA("ORVANE_NET_LIMITS", value, sizeof value);
  if (n == 0 || n >= sizeof value) return;
  char* end = nullptr;
  long c = std::strtol(value, &end, 10);
  if (c > 0) connect = static_cast<int32_t>(c);
  if (*end == ',') {
    long i = std::strtol(end + 1, nullptr, 10);
    if (i > 0) idle = static_cast<int32_t>(i);
  }
}

// Room for a few of the 64 KB pieces a send hands over at once: fewer
// waits for the socket to take more, which under wine cost a message
// round trip each.
void WideSendBuffer(SOCKET s) {
  int size = 1 << 20;
  setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
}

}  // namespace

std::string SocketErrorMessage(int code) {
  for (const TErrorRow& row : kErrors)
    if (row.code == code) return Format("%d:%s", code, row.text);
  return Format("Unknown Error No. %d", code);
}

LRESULT CALLBACK PsockWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PSOCK_EVENT || msg == WM_PSOCK_LOOKUP) {
    auto* sock = reinterpret_cast<TPowersock*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (sock) sock->Notify(msg, wp, lp);
    return 0;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

TPowersock::TPowersock() : buffer_(kBufferSize) {
  LimitsFromEnvironment(ConnectLimit, IdleLimit);
  WSADATA data;
  started_ = WSAStartup(MAKEWORD(1, 1), &data) == 0;
  HINSTANCE module = OwnModule();
  WNDCLASSA wc{};
  if (!GetClassInfoA(module, kWindowClass, &wc)) {
    wc = WNDCLASSA{};
    wc.lpfnWndProc = PsockWindowProc;
    wc.hInstance = module;
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc);
  }
  wnd_ = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
  if (wnd_) SetWindowLongPtrA(wnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TPowersock::~TPowersock() {
  cancelled_ = true;
  if (lookup_) WSACancelAsyncRequest(lookup_);
  CloseSocket();
  if (wnd_) {
    SetWindowLongPtrA(wnd_, GWLP_USERDATA, 0);
    DestroyWindow(wnd_);
  }
  if (started_) WSACleanup();
}

void TPowersock::Notify(UINT msg, WPARAM wp, LPARAM lp) {
  const int event = WSAGETSELECTEVENT(lp);
  const int error = WSAGETSELECTERROR(lp);
  if (msg == WM_PSOCK_LOOKUP && lookup_ && wp == reinterpret_cast<WPARAM>(lookup_)) {
    lookupDone_ = true;
    lookupError_ = WSAGETASYNCERROR(lp);
    lookup_ = nullptr;
    return;
  }
  if (static_cast<SOCKET>(wp) != sock_) return;  // a socket closed meanwhile
  events_ |= event;
  if (event == FD_CONNECT) connectError_ = error;
  if (event == FD_CLOSE) peerClosed_ = true;
}

DWORD TPowersock::Limit(TLimit kind) const {
  if (override_ > 0) return static_cast<DWORD>(override_);
  if (TimeOut > 0) return static_cast<DWORD>(TimeOut);
  return static_cast<DWORD>(kind == TLimit::Connect ? ConnectLimit : IdleLimit);
}

void TPowersock::Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The run is asked to stop: give up and leave the request to the
      // thread's own loop.
      cancelled_ = true;
      if (cancelOwner_) cancelOwner_->cancelled_ = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool TPowersock::PollStop() {
  TPowersock* root = cancelOwner_ ? cancelOwner_ : this;
  if (!root->StopRequested) return false;
  const DWORD now = GetTickCount();
  if (now - root->lastStopPoll_ < kStopPollMs) return false;
  root->lastStopPoll_ = now;
  if (!root->StopRequested()) return false;
  root->cancelled_ = true;
  cancelled_ = true;
  return true;
}

TPowersock::TWaitEnd TPowersock::Wait(const std::function<bool()>& ready, DWORD limit) {
  const DWORD start = GetTickCount();
  for (;;) {
    Pump();
    if (Cancelled() || PollStop()) return TWaitEnd::Cancelled;
    if (ready()) return TWaitEnd::Ready;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= limit) return TWaitEnd::Expired;
    // Notifications arrive as messages and end the sleep at once; the
    // slice only bounds how late a cancel from another thread is seen.
    DWORD slice = std::min<DWORD>(limit - elapsed, 50);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
  }
}

void TPowersock::RaiseSocketError(int code) {
  if (code == WSAETIMEDOUT) timedOut_ = true;
  std::string message = SocketErrorMessage(code);
  if (OnError) OnError(this, static_cast<uint16_t>(code), message);
  throw ESockError(message);
}

void TPowersock::RaiseSocketText(const std::string& text) {
  if (OnError) OnError(this, 0, text);
  throw ESockError(text);
}

void TPowersock::NewSocket() {
  CloseSocket();
  sock_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (sock_ == INVALID_SOCKET) RaiseSocketError(WSAGetLastError());
  // Closing discards unsent data unless a transfer asks for a graceful
  // close.
  linger l{1, 0};
  setsockopt(sock_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  WideSendBuffer(sock_);
}

void TPowersock::Select(long events) {
  UINT msg = events == FD_ACCEPT ? WM_PSOCK_LOOKUP : WM_PSOCK_EVENT;
  if (WSAAsyncSelect(sock_, wnd_, msg, events) == SOCKET_ERROR) RaiseSocketError(WSAGetLastError());
}

void TPowersock::DropNotifications() {
  // A new socket may get the handle value of the old one: what is still
  // queued for the old one must not reach the new one.
  MSG msg;
  while (wnd_ && PeekMessageA(&msg, wnd_, WM_PSOCK_EVENT, WM_PSOCK_EVENT, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {  // comes whatever the filter says
      cancelled_ = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
  }
}

void TPowersock::CloseSocket() {
  if (sock_ != INVALID_SOCKET) {
    WSAAsyncSelect(sock_, wnd_, 0, 0);
    closesocket(sock_);
    DropNotifications();
  }
  sock_ = INVALID_SOCKET;
  connected_ = false;
  events_ = 0;
  peerClosed_ = false;
  ResetBuffer();
}

void TPowersock::Disconnect() { CloseSocket(); }

in_addr TPowersock::Resolve(const std::string& name) {
  in_addr address{};
  if (IsDottedAddress(name)) {
    address.s_addr = inet_addr(name.c_str());
    return address;
  }
  hostent_.assign(MAXGETHOSTSTRUCT, 0);
  lookupDone_ = false;
  lookupError_ = 0;
  lookup_ = WSAAsyncGetHostByName(wnd_, WM_PSOCK_LOOKUP, name.c_str(), hostent_.data(), MAXGETHOSTSTRUCT);
  if (!lookup_) throw ESockError("Host Lookup Failed");
  TWaitEnd end = Wait([this] { return lookupDone_; }, Limit(TLimit::Connect));
  if (end != TWaitEnd::Ready) {
    WSACancelAsyncRequest(lookup_);
    lookup_ = nullptr;
    if (end == TWaitEnd::Cancelled) throw EAbortError("Host Lookup Canceled");
    timedOut_ = true;
    throw ESockError("Host Lookup Timed Out");
  }
  auto* host = reinterpret_cast<hostent*>(hostent_.data());
  if (lookupError_ || !host->h_addr_list || !host->h_addr_list[0] || host->h_length != 4)
    throw ESockError("Host Lookup Failed");
  std::memcpy(&address, host->h_addr_list[0], 4);
  return address;
}

void TPowersock::WaitConnected(const char* canceledText, const char* timedOutText, const char* failedText) {
  TWaitEnd end = Wait([this] { return (events_ & FD_CONNECT) != 0; }, Limit(TLimit::Connect));
  if (end == TWaitEnd::Ready && connectError_ == 0) {
    connected_ = true;
    return;
  }
  CloseSocket();
  if (OnConnectionFailed) OnConnectionFailed(this);
  if (end == TWaitEnd::Cancelled) throw EAbortError(canceledText);
  if (end == TWaitEnd::Expired) {
    timedOut_ = true;
    throw ESockError(timedOutText);
  }
  throw ESockError(failedText);
}

void TPowersock::Connect() {
  if (connected_) throw ESockError("Already connected");
  timedOut_ = false;
  const bool viaProxy = !Proxy.empty();
  in_addr address{};
  for (bool first = true;; first = false) {
    std::string name = viaProxy ? Proxy : Host;
    if (!name.empty()) {
      address = Resolve(name);
      break;
    }
    bool handled = false;
    if (first && OnInvalidHost) OnInvalidHost(handled);
    if (!handled) throw ESockError("Null Remote Address");
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr = address;
  to.sin_port = htons(static_cast<u_short>(viaProxy ? ProxyPort : Port));
  ConnectTo(to);
}

void TPowersock::ConnectTo(const sockaddr_in& address) {
  if (Cancelled()) throw EAbortError("Connection Canceled");
  NewSocket();
  connectError_ = 0;
  Select(FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
  if (connect(sock_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
    int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      CloseSocket();
      if (OnConnectionFailed) OnConnectionFailed(this);
      throw ESockError("Connection Failed");
    }
  }
  WaitConnected("Connection Canceled", "Connection Timed out", "Connection Failed");
}

void TPowersock::Listen(const sockaddr_in& address) {
  NewSocket();
  sockaddr_in local = address;
  local.sin_port = 0;
  if (bind(sock_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR ||
      listen(sock_, 1) == SOCKET_ERROR)
    RaiseSocketError(WSAGetLastError());
  Select(FD_ACCEPT);
}

void TPowersock::Accept(const in_addr& from) {
  const DWORD limit = Limit(TLimit::Connect);
  const DWORD start = GetTickCount();
  for (;;) {
    events_ &= ~FD_ACCEPT;
    sockaddr_in peer{};
    int length = sizeof peer;
    SOCKET s = accept(sock_, reinterpret_cast<sockaddr*>(&peer), &length);
    if (s != INVALID_SOCKET) {
      // Only the server we talk to may bring the data.
      if (peer.sin_addr.s_addr != from.s_addr) {
        closesocket(s);
        continue;
      }
      WSAAsyncSelect(sock_, wnd_, 0, 0);
      closesocket(sock_);
      DropNotifications();
      sock_ = s;
      WideSendBuffer(sock_);
      linger l{1, 0};
      setsockopt(sock_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
      events_ = 0;
      Select(FD_READ | FD_WRITE | FD_CLOSE);
      connected_ = true;
      return;
    }
    int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) RaiseSocketError(error);
    DWORD elapsed = GetTickCount() - start;
    TWaitEnd end = elapsed >= limit ? TWaitEnd::Expired
                                    : Wait([this] { return (events_ & FD_ACCEPT) != 0; }, limit - elapsed);
    if (end == TWaitEnd::Cancelled) throw EAbortError("Connection Canceled");
    if (end == TWaitEnd::Expired) {
      timedOut_ = true;
      throw ESockError("Connection Timed out");
    }
  }
}

void TPowersock::CloseGracefully() {
  if (sock_ == INVALID_SOCKET) return;
  linger l{0, 0};
  setsockopt(sock_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
  shutdown(sock_, SD_SEND);
  CloseSocket();
}

sockaddr_in TPowersock::LocalAddress() const {
  sockaddr_in a{};
  int length = sizeof a;
  getsockname(sock_, reinterpret_cast<sockaddr*>(&a), &length);
  return a;
}

sockaddr_in TPowersock::PeerAddress() const {
  sockaddr_in a{};
  int length = sizeof a;
  getpeername(sock_, reinterpret_cast<sockaddr*>(&a), &length);
  return a;
}

void TPowersock::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (Cancelled()) throw EAbortError("Socket send aborted");
    if (sock_ == INVALID_SOCKET) RaiseSocketError(WSAENOTCONN);
    int piece = static_cast<int>(std::min(size, kBufferSize));
    events_ &= ~FD_WRITE;
    int sent = send(sock_, p, piece, 0);
    if (sent > 0) {
      p += sent;
      size -= static_cast<size_t>(sent);
      continue;
    }
    int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      CloseSocket();
      RaiseSocketError(error);
    }
    TWaitEnd end = Wait([this] { return (events_ & (FD_WRITE | FD_CLOSE)) != 0; }, Limit(TLimit::Idle));
    if (end == TWaitEnd::Cancelled) throw EAbortError("Socket send aborted");
    if (end == TWaitEnd::Expired) RaiseSocketError(WSAETIMEDOUT);
  }
}

void TPowersock::WriteLn(const std::string& text) {
  std::string line = text + "\r\n";
  Write(line.data(), line.size());
}

void TPowersock::SendStream(const std::string& data) {
  for (size_t pos = 0; pos < data.size(); pos += kBufferSize)
    Write(data.data() + pos, std::min(kBufferSize, data.size() - pos));
}

size_t TPowersock::Receive(char* out, size_t size, const char* abortText) {
  for (;;) {
    if (Cancelled()) throw EAbortError(abortText);
    if (sock_ == INVALID_SOCKET) return 0;
    events_ &= ~(FD_READ | FD_CLOSE);
    int got = recv(sock_, out, static_cast<int>(std::min(size, kBufferSize)), 0);
    if (got > 0) return static_cast<size_t>(got);
    if (got == 0) {
      connected_ = false;
      return 0;
    }
    int error = WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      CloseSocket();
      RaiseSocketError(error);
    }
    TWaitEnd end = Wait([this] { return (events_ & (FD_READ | FD_CLOSE)) != 0; }, Limit(TLimit::Idle));
    if (end == TWaitEnd::Cancelled) throw EAbortError(abortText);
    if (end == TWaitEnd::Expired) RaiseSocketError(WSAETIMEDOUT);
  }
}

bool TPowersock::ReadLine(std::string& line) {
  line.clear();
  for (;;) {
    while (rpos_ < rlen_) {
      const char* start = buffer_.data() + rpos_;
      const char* end = static_cast<const char*>(std::memchr(start, '\n', rlen_ - rpos_));
      size_t take = end ? static_cast<size_t>(end - start) + 1 : rlen_ - rpos_;
      if (line.size() + take > kMaxLine) {
        Disconnect();
        RaiseSocketText("Line longer than 64 KB received");
      }
      line.append(start, take);
      rpos_ += take;
      if (end) return true;
    }
    size_t got = Receive(buffer_.data(), kBufferSize, "Socket readln aborted");
    if (got == 0) return !line.empty();
    rpos_ = 0;
    rlen_ = got;
  }
}

std::string TPowersock::ReadLn() {
  std::string line;
  if (!ReadLine(line) || line.back() != '\n') {
    Disconnect();
    RaiseSocketText("Connection closed by the server");
  }
  return line;
}

size_t TPowersock::ReadRaw(char* out, size_t size) {
  if (rpos_ < rlen_) {
    size_t take = std::min(size, rlen_ - rpos_);
    std::memcpy(out, buffer_.data() + rpos_, take);
    rpos_ += take;
    return take;
  }
  return Receive(out, size, "Socket send aborted");
}

uint16_t TPowersock::Transaction(const std::string& command) {
  WriteLn(command);
  std::string line = ReadLn();
  ReplyText = line;
  unsigned long number = 0;
  for (size_t i = 0; i < line.size() && i < 10 && line[i] >= '0' && line[i] <= '9'; ++i)
    number = number * 10 + static_cast<unsigned long>(line[i] - '0');
  ReplyNumber = static_cast<uint16_t>(number);
  while (line[0] == ' ' || (line.size() > 3 && line[3] == '-')) line = ReadLn();
  return ReplyNumber;
}

bool TPowersock::CheckConnected() {
  if (!connected_) return false;
  Pump();
  // Whatever the server still had to say before closing was its farewell
  // (a 421): the connection cannot carry another command.
  if (peerClosed_) Disconnect();
  return connected_;
}
