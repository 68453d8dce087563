#include "OVMsgBox.h"

#include <atomic>

namespace {
std::atomic<TMsgBoxResponder> g_responder{nullptr};
}

void SetMsgBoxResponder(TMsgBoxResponder responder) { g_responder = responder; }

int OVMessageBox(HWND owner, const std::string& text,
                 const std::string& caption, UINT type) {
  if (TMsgBoxResponder r = g_responder.load())
    return r(owner, text.c_str(), caption.c_str(), type);
  return MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

void ShowInfo(HWND owner, const std::string& text) {
  OVMessageBox(owner, text, "Orvane", MB_OK | MB_ICONINFORMATION);
}

void ShowError(HWND owner, const std::string& text) {
  OVMessageBox(owner, text, "Orvane", MB_OK | MB_ICONERROR);
}

bool Confirm(HWND owner, const std::string& text) {
  return OVMessageBox(owner, text, "Confirm", MB_YESNO | MB_ICONQUESTION) == IDYES;
}
