#include "RefreshThread.h"

#include "OVWait.h"

namespace {

// A reference on the module this code lives in.
HMODULE ReferenceOwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ReferenceOwnModule),
                     &module);
  return module;
}

struct THolder {
  std::shared_ptr<TRefreshThread> self;
  HMODULE module;
};

}  // namespace

TRefreshThread::TRefreshThread() : endEvent_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

TRefreshThread::~TRefreshThread() {
  if (thread_) CloseHandle(thread_);
  if (endEvent_) CloseHandle(endEvent_);
}

bool TRefreshThread::Start(const std::shared_ptr<TRefreshThread>& self) {
  if (!self->endEvent_ || self->thread_) return false;
  auto* holder = new THolder{self, ReferenceOwnModule()};
  self->thread_ = CreateThread(nullptr, 0, ThreadMain, holder, 0, nullptr);
  if (self->thread_) return true;
  if (holder->module) FreeLibrary(holder->module);
  delete holder;
  return false;
}

DWORD WINAPI TRefreshThread::ThreadMain(void* p) {
  auto* holder = static_cast<THolder*>(p);
  HMODULE module = holder->module;
  try {
    holder->self->Execute();
  } catch (...) {
  }
  // The object may go with the last reference: nothing of it is touched
  // after this.
  delete holder;
  if (module) FreeLibraryAndExitThread(module, 0);
  return 0;
}

void TRefreshThread::Terminate() {
  terminated_ = true;
  SetEvent(endEvent_);
}

bool TRefreshThread::WaitFor(DWORD timeoutMs) const {
  return thread_ && WaitServingSentMessages(thread_, timeoutMs);
}

bool TRefreshThread::Nap(DWORD ms) const {
  if (Terminated()) return false;
  return WaitForSingleObject(endEvent_, ms) == WAIT_TIMEOUT && !Terminated();
}
