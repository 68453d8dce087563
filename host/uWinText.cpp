#include "uWinText.h"

#include <commctrl.h>

#include <cstring>

std::string ListCell(HWND list, int row, int column) {
  std::string buf(1024, '\0');
  for (;;) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = &buf[0];
    item.cchTextMax = static_cast<int>(buf.size());
    int n = static_cast<int>(SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                                          reinterpret_cast<LPARAM>(&item)));
    if (n < static_cast<int>(buf.size()) - 1) return buf.substr(0, static_cast<size_t>(n));
    buf.resize(buf.size() * 4);
  }
}

bool CopyTextToClipboard(HWND owner, const std::string& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool done = false;
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
    GlobalUnlock(mem);
    done = SetClipboardData(CF_TEXT, mem) != nullptr;
    if (!done) GlobalFree(mem);
  }
  CloseClipboard();
  return done;
}
