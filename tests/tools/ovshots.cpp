// Opens the windows of the real orvane.exe one after another and saves a
// picture of each: run by scripts/screenshots under wine.
//   ovshots.exe [--quick] <folder for the pictures, as a Linux path>
// The program runs from a fresh copy of dist/ with its own registry root.
// Every wait is bounded: a window that does not come is reported ("no
// window for ...") and the tour goes on. Exit status 2 when the program
// could not be started, otherwise 0. --quick (the test suite's check)
// visits a few windows only and exits with 1 when one of them is missing.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "TestUtil.h"
#include "uMainCmds.h"

using testutil::TProgram;
using testutil::WaitFor;

namespace {

// Job editor, pickers, preferences, variables (host/uJobRes.h,
// host/uPrefsRes.h, host/uVarsRes.h).
constexpr int kJobName = 3401, kJobPages = 3403, kJobActive = 3404, kSteps = 3410, kAddStep = 3411,
              kConfigStep = 3412, kAddEvent = 3421, kPickerTree = 3481;
constexpr int kPrefsPages = 3601, kPluginList = 3651, kPluginConfigure = 3652, kPluginInfo = 3653,
              kPluginAbout = 3654;
constexpr int kVarPages = 3301, kVarAdd = 3305;
constexpr int kCategoryName = 3626, kCategoryAdd = 3627;
constexpr int kFilesEditFilters = 3511, kFilesManualAdd = 3513;

std::string g_out;  // Linux folder of the pictures
DWORD g_pid = 0;
int g_taken = 0;
std::vector<std::string> g_missed;

void Say(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

void Missed(const std::string& what) {
  g_missed.push_back(what);
  Say("no window for " + what);
}

void Sleep2(int ms) { WaitFor([] { return false; }, ms); }

std::string Slug(const std::string& text) {
  std::string s;
  for (char c : text) {
    if (isalnum(static_cast<unsigned char>(c)))
      s += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    else if (!s.empty() && s.back() != '-')
      s += '-';
  }
  while (!s.empty() && s.back() == '-') s.pop_back();
  return s.empty() ? "unnamed" : s;
}

std::string Text(HWND wnd) {
  char buf[512] = "";
  SendMessageTimeoutA(wnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, nullptr);
  return buf;
}

std::string ClassOf(HWND wnd) {
  char buf[128] = "";
  GetClassNameA(wnd, buf, sizeof buf);
  return buf;
}

// The visible top-level windows of the program.
BOOL CALLBACK AddShown(HWND w, LPARAM lp) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == g_pid && IsWindowVisible(w)) reinterpret_cast<std::set<HWND>*>(lp)->insert(w);
  return TRUE;
}

std::set<HWND> Shown() {
  std::set<HWND> found;
  EnumWindows(AddShown, reinterpret_cast<LPARAM>(&found));
  return found;
}

// A visible window of the program that was not in before, once it had time
// to paint; nullptr after timeoutMs.
HWND WaitNew(const std::set<HWND>& before, int timeoutMs = 5000) {
  HWND found = nullptr;
  WaitFor([&] {
    for (HWND w : Shown())
      if (!before.count(w) && ClassOf(w) != "tooltips_class32") found = w;
    return found != nullptr;
  }, timeoutMs);
  if (found) Sleep2(700);
  return found;
}

bool WaitGone(HWND wnd, int timeoutMs) {
  return WaitFor([&] { return !IsWindow(wnd) || !IsWindowVisible(wnd); }, timeoutMs);
}

void Post(HWND wnd, int id) {
  PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(wnd, id)));
}

void Key(HWND wnd, WPARAM vk) {
  PostMessageA(wnd, WM_KEYDOWN, vk, 1);
  PostMessageA(wnd, WM_KEYUP, vk, 0xC0000001);
}

// Saves the screen area of a window as <name>.png: the picture is taken
// by ImageMagick's import from the X display, written under a temporary
// name and renamed, so that a file that exists is complete.
void Shot(HWND wnd, const std::string& name) {
  RECT r{};
  GetWindowRect(wnd, &r);
  int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  r.left = std::max(0L, r.left);
  r.top = std::max(0L, r.top);
  r.right = std::min(static_cast<LONG>(sw), r.right);
  r.bottom = std::min(static_cast<LONG>(sh), r.bottom);
  if (r.right <= r.left || r.bottom <= r.top) {
    Say("off screen: " + name);
    return;
  }
  std::string png = g_out + "/" + name + ".png", tmp = g_out + "/." + name + ".tmp.png";
  std::string winPng = "Z:" + png;
  for (char& c : winPng)
    if (c == '/') c = '\\';
  DeleteFileA(winPng.c_str());
  char geometry[64];
  std::snprintf(geometry, sizeof geometry, "%ldx%ld+%ld+%ld", r.right - r.left, r.bottom - r.top, r.left, r.top);
  std::string cmd = "Z:\\bin\\sh -c \"/usr/bin/import -window root -crop " + std::string(geometry) + " +repage '" +
                    tmp + "' && /bin/mv -f '" + tmp + "' '" + png + "'\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    Say("cannot start import for " + name);
    return;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // The handle of a Unix program says little about its end: wait for the
  // picture instead.
  if (WaitFor([&] { return testutil::FileExists(winPng); }, 10000)) {
    ++g_taken;
    Say("shot " + name);
  } else {
    g_missed.push_back(name + " (picture)");
    Say("no picture for " + name);
  }
}

// Closes a dialog the way Cancel, Escape or the title bar's button would.
void Dismiss(HWND wnd) {
  if (!IsWindow(wnd)) return;
  Post(wnd, IDCANCEL);
  if (WaitGone(wnd, 2000)) return;
  Key(wnd, VK_ESCAPE);
  if (WaitGone(wnd, 1500)) return;
  PostMessageA(wnd, WM_CLOSE, 0, 0);
  WaitGone(wnd, 1500);
}

// Posts a command and pictures the window it opens; the window is
// returned open (nullptr when none came).
HWND Open(HWND target, int command, const std::string& name, int timeoutMs = 5000) {
  auto before = Shown();
  Post(target, command);
  HWND wnd = WaitNew(before, timeoutMs);
  if (!wnd) {
    Missed(name);
    return nullptr;
  }
  Shot(wnd, name);
  return wnd;
}

// ------------------------------------------------ controls of the program

// Reads a structure-filled answer from a control of the program: the
// structure and its text buffer live in the program's memory.
class TRemote {
 public:
  explicit TRemote(HWND wnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    proc_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (proc_) mem_ = static_cast<char*>(VirtualAllocEx(proc_, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
  }
  ~TRemote() {
    if (mem_) VirtualFreeEx(proc_, mem_, 0, MEM_RELEASE);
    if (proc_) CloseHandle(proc_);
  }
  TRemote(const TRemote&) = delete;
  TRemote& operator=(const TRemote&) = delete;
  bool Ok() const { return mem_ != nullptr; }
  char* TextAddress() const { return mem_ + 1024; }
  template <class T>
  void Put(const T& value) {
    WriteProcessMemory(proc_, mem_, &value, sizeof value, nullptr);
  }
  LPARAM Address() const { return reinterpret_cast<LPARAM>(mem_); }
  std::string ReadText() const {
    char buf[1024] = "";
    ReadProcessMemory(proc_, TextAddress(), buf, sizeof buf - 1, nullptr);
    return buf;
  }

 private:
  HANDLE proc_ = nullptr;
  char* mem_ = nullptr;
};

std::string TreeText(HWND tv, HTREEITEM item) {
  TRemote r(tv);
  if (!r.Ok()) return "";
  TVITEMA it{};
  it.mask = TVIF_TEXT;
  it.hItem = item;
  it.pszText = r.TextAddress();
  it.cchTextMax = 1000;
  r.Put(it);
  SendMessageA(tv, TVM_GETITEMA, 0, r.Address());
  return r.ReadText();
}

// Selects and focuses one row of a list view (any view: the arrow keys
// move differently in an icon view).
void SelectRow(HWND lv, int row) {
  TRemote r(lv);
  if (!r.Ok()) return;
  LVITEMA it{};
  it.stateMask = it.state = LVIS_SELECTED | LVIS_FOCUSED;
  r.Put(it);
  SendMessageA(lv, LVM_SETITEMSTATE, static_cast<WPARAM>(row), r.Address());
}

std::string ListText(HWND lv, int row) {
  TRemote r(lv);
  if (!r.Ok()) return "";
  LVITEMA it{};
  it.iSubItem = 0;
  it.pszText = r.TextAddress();
  it.cchTextMax = 1000;
  r.Put(it);
  SendMessageA(lv, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), r.Address());
  return r.ReadText();
}

HTREEITEM TreeNext(HWND tv, UINT how, HTREEITEM item) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tv, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

struct TPick {
  int plugin, item;
  std::string name;
};

// Every item of a picker's tree, by position (the picker builds its tree
// anew each time it opens).
std::vector<TPick> PickerItems(HWND picker) {
  std::vector<TPick> items;
  HWND tv = GetDlgItem(picker, kPickerTree);
  int p = 0;
  for (HTREEITEM plugin = TreeNext(tv, TVGN_ROOT, nullptr); plugin; plugin = TreeNext(tv, TVGN_NEXT, plugin), ++p) {
    int i = 0;
    for (HTREEITEM it = TreeNext(tv, TVGN_CHILD, plugin); it; it = TreeNext(tv, TVGN_NEXT, it), ++i)
      items.push_back({p, i, TreeText(tv, it)});
  }
  return items;
}

bool SelectPick(HWND picker, const TPick& pick) {
  HWND tv = GetDlgItem(picker, kPickerTree);
  HTREEITEM plugin = TreeNext(tv, TVGN_ROOT, nullptr);
  for (int p = 0; plugin && p < pick.plugin; ++p) plugin = TreeNext(tv, TVGN_NEXT, plugin);
  if (!plugin) return false;
  HTREEITEM item = TreeNext(tv, TVGN_CHILD, plugin);
  for (int i = 0; item && i < pick.item; ++i) item = TreeNext(tv, TVGN_NEXT, item);
  if (!item) return false;
  SendMessageA(tv, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  return true;
}

// A button of a dialog by its text ("...", "%V%").
HWND ButtonByText(HWND dlg, const std::string& text) {
  for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if (ClassOf(c) == "Button" && Text(c) == text && IsWindowVisible(c)) return c;
  return nullptr;
}

struct TClassSearch {
  const char* cls;
  HWND found;
};

BOOL CALLBACK MatchClass(HWND w, LPARAM lp) {
  auto* c = reinterpret_cast<TClassSearch*>(lp);
  if (ClassOf(w) == c->cls && IsWindowVisible(w)) {
    c->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND FirstChildOfClass(HWND parent, const char* cls) {
  TClassSearch ctx{cls, nullptr};
  EnumChildWindows(parent, MatchClass, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

// ---------------------------------------------------------------- the tour

bool g_filesDone = false, g_varsDone = false;

// The host's windows that plug-in dialogs open: the file-list picker (with
// its filter editor and input box) behind "...", the variables behind
// "%V%". Each is pictured once.
void HostWindowsFrom(HWND dlg) {
  if (!g_filesDone) {
    if (HWND dots = ButtonByText(dlg, "...")) {
      auto before = Shown();
      PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(dots), BN_CLICKED), reinterpret_cast<LPARAM>(dots));
      if (HWND files = WaitNew(before)) {
        if (Text(files) == "Files") {
          g_filesDone = true;
          Shot(files, "files");
          if (HWND f = Open(files, kFilesEditFilters, "filter-editor")) Dismiss(f);
          if (HWND m = Open(files, kFilesManualAdd, "files-manual-add")) Dismiss(m);
        }
        Dismiss(files);
      }
    }
  }
  if (!g_varsDone) {
    if (HWND v = ButtonByText(dlg, "%V%")) {
      auto before = Shown();
      PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(v), BN_CLICKED), reinterpret_cast<LPARAM>(v));
      if (HWND vars = WaitNew(before)) {
        g_varsDone = true;
        Shot(vars, "variables-insert");
        Key(GetDlgItem(vars, kVarPages), VK_RIGHT);
        Sleep2(500);
        Shot(vars, "variables-user");
        if (HWND add = Open(vars, kVarAdd, "user-variable")) Dismiss(add);
        Dismiss(vars);
      }
    }
  }
}

// Windows that a plug-in's dialog opens itself: (dialog caption, button
// text, name of the picture).
struct TExtra {
  const char* caption;
  const char* button;
  const char* suffix;
};
const TExtra kExtras[] = {
    {"Message", "Test", "test"},           {"Question", "Test", "test"},
    {"File Monitor", "Add...", "add"},     {"Zip", "Comment", "comment"},
    {"Send Keys", "Insert a key", "menu"},
};

// The dialogs behind the first items of a button's menu (Send Keys:
// "Key combination...", "Insert delay..."), chosen by keyboard.
void MenuDialogsFrom(HWND dlg, HWND button, const std::string& name) {
  const char* items[] = {"key-combination", "insert-delay"};
  for (int i = 0; i < 2; ++i) {
    auto before = Shown();
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    HWND menu = WaitNew(before, 3000);
    if (!menu || ClassOf(menu) != "#32768") {
      if (menu) Dismiss(menu);
      Missed(name + "-" + items[i]);
      continue;
    }
    before.insert(menu);
    for (int k = 0; k <= i; ++k) Key(menu, VK_DOWN);
    Key(menu, VK_RETURN);
    if (HWND w = WaitNew(before, 3000)) {
      Shot(w, name + "-" + items[i]);
      Dismiss(w);
    } else {
      Key(menu, VK_ESCAPE);
      Missed(name + "-" + items[i]);
    }
  }
}

void ExtrasFrom(HWND dlg, const std::string& name) {
  const std::string caption = Text(dlg);
  for (const TExtra& e : kExtras) {
    if (caption != e.caption) continue;
    HWND button = ButtonByText(dlg, e.button);
    if (!button) continue;
    auto before = Shown();
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    HWND w = WaitNew(before, 3000);
    if (!w) {
      Missed(name + "-" + e.suffix);
      continue;
    }
    Shot(w, name + "-" + e.suffix);
    if (ClassOf(w) == "#32768") {
      Key(w, VK_ESCAPE);
      WaitGone(w, 1500);
      MenuDialogsFrom(dlg, button, name);
    } else {
      Dismiss(w);
    }
  }
}

// The further pages of a dialog with a tab control, one picture each; the
// first page is shown again afterwards.
void ShotPages(HWND dlg, const std::string& name) {
  HWND tabs = FirstChildOfClass(dlg, "SysTabControl32");
  if (!tabs) return;
  int count = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 1; i < count; ++i) {
    Key(tabs, VK_RIGHT);
    Sleep2(500);
    Shot(dlg, name + "-page" + std::to_string(i + 1));
  }
  for (int i = 1; i < count; ++i) Key(tabs, VK_LEFT);
}

// Opens the picker behind an Add button for each of its items in turn (at
// most most items), pictures the item's configuration dialog and confirms
// it with its defaults, so that the item joins the job; a dialog that
// refuses its defaults is cancelled. An item with nothing to set opens no
// dialog and joins the job at once ("no window for ...").
void PickerTour(HWND editor, int addButton, const std::string& kind, size_t most) {
  auto shown = Shown();
  Post(editor, addButton);
  HWND picker = WaitNew(shown);
  if (!picker) {
    Missed("picker-" + kind);
    return;
  }
  Key(GetDlgItem(picker, kPickerTree), VK_HOME);
  Sleep2(300);
  Shot(picker, "picker-" + kind);
  std::vector<TPick> items = PickerItems(picker);
  Say(std::to_string(items.size()) + " " + kind + " items");
  if (items.size() > most) items.resize(most);
  if (items.empty()) Dismiss(picker);
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) {
      auto before = Shown();
      Post(editor, addButton);
      picker = WaitNew(before);
      if (!picker) {
        Missed("picker-" + kind + " (again)");
        return;
      }
    }
    const std::string name = kind + "-" + Slug(items[i].name);
    auto before = Shown();
    before.erase(picker);
    if (!SelectPick(picker, items[i])) {
      Missed(name + " (not in the picker)");
      Dismiss(picker);
      continue;
    }
    Post(picker, IDOK);
    WaitGone(picker, 3000);
    HWND dlg = WaitNew(before, 4000);
    if (!dlg) {
      Missed(name);
      continue;
    }
    Shot(dlg, name);
    ShotPages(dlg, name);
    ExtrasFrom(dlg, name);
    HostWindowsFrom(dlg);
    before = Shown();
    Post(dlg, IDOK);
    if (WaitGone(dlg, 1500)) continue;
    // Refused: a message may have come up over it.
    if (HWND msg = WaitNew(before, 500)) Dismiss(msg);
    Dismiss(dlg);
  }
}

// The job editor of a new job, with one step or event of every kind the
// plug-ins offer (those whose dialogs take their defaults), saved
// inactive. most: how many of each to try.
void JobEditorTour(HWND main, size_t most) {
  HWND editor = Open(main, cmNewJob, "job-add");
  if (!editor) return;
  testutil::SetText(editor, kJobName, "Sample job");
  PickerTour(editor, kAddStep, "action", most);
  Sleep2(500);
  Shot(editor, "job-add-steps");
  HWND pages = GetDlgItem(editor, kJobPages);
  Key(pages, VK_RIGHT);
  PickerTour(editor, kAddEvent, "event", most);
  Sleep2(500);
  Shot(editor, "job-add-events");
  Key(pages, VK_RIGHT);
  Sleep2(700);
  Shot(editor, "job-add-advanced");
  Key(pages, VK_HOME);
  // Saved inactive: the sample events never fire while pictures are taken.
  if (SendDlgItemMessageA(editor, kJobActive, BM_GETCHECK, 0, 0) == BST_CHECKED)
    SendDlgItemMessageA(editor, kJobActive, BM_CLICK, 0, 0);
  Post(editor, IDOK);
  if (!WaitGone(editor, 5000)) Dismiss(editor);
}

// A job with a name only, for the job list.
void NamedJob(HWND main, const std::string& name) {
  auto before = Shown();
  Post(main, cmNewJob);
  HWND editor = WaitNew(before);
  if (!editor) return;
  testutil::SetText(editor, kJobName, name);
  Post(editor, IDOK);
  if (!WaitGone(editor, 5000)) Dismiss(editor);
}

void EditJobTour(HWND main) {
  auto before = Shown();
  HWND list = FirstChildOfClass(main, "SysListView32");
  if (list) {
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < rows; ++i)
      if (ListText(list, i) == "Sample job") SelectRow(list, i);
    Sleep2(300);
    Post(main, cmEditJob);
  } else {
    Post(main, cmJobMenuFirst);  // a window without a job list edits from its Job menu
  }
  HWND editor = WaitNew(before);
  if (!editor) {
    Missed("job-edit");
    return;
  }
  HWND steps = GetDlgItem(editor, kSteps);
  Key(steps, VK_HOME);
  Sleep2(500);
  Shot(editor, "job-edit");
  if (HWND cfg = Open(editor, kConfigStep, "job-edit-configure")) Dismiss(cfg);
  Dismiss(editor);
}

void PreferencesTour(HWND main) {
  HWND prefs = Open(main, cmPreferences, "preferences-general");
  if (!prefs) return;
  HWND pages = GetDlgItem(prefs, kPrefsPages);
  Key(pages, VK_RIGHT);
  Sleep2(500);
  // Two categories, kept by OK below: the main window shows them as tabs.
  for (const char* name : {"Backups", "Reports"}) {
    Post(prefs, kCategoryAdd);
    Sleep2(300);
    testutil::SetText(prefs, kCategoryName, name);
  }
  Sleep2(300);
  Shot(prefs, "preferences-appearance");
  Key(pages, VK_RIGHT);
  Sleep2(700);
  Shot(prefs, "preferences-plugins");
  HWND lv = GetDlgItem(prefs, kPluginList);
  int count = static_cast<int>(SendMessageA(lv, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    SelectRow(lv, i);
    Sleep2(300);
    const std::string name = Slug(ListText(lv, i));
    if (HWND info = Open(prefs, kPluginInfo, "plugin-info-" + name)) Dismiss(info);
    if (HWND about = Open(prefs, kPluginAbout, "plugin-about-" + name, 3000)) Dismiss(about);
    // Most plug-ins have nothing to set here: a quiet "no window" then.
    auto before = Shown();
    Post(prefs, kPluginConfigure);
    if (HWND cfg = WaitNew(before, 2000)) {
      Shot(cfg, "plugin-configure-" + name);
      Dismiss(cfg);
    }
  }
  Post(prefs, IDOK);
  if (!WaitGone(prefs, 3000)) Dismiss(prefs);
}

// The tray icon's window lives in wine's desktop process; a right click on
// it reaches the program as the icon's notification.
BOOL CALLBACK AddTrayIcon(HWND w, LPARAM lp) {
  // Wine's X11 driver keeps each icon in a window of its own (on a display
  // without a tray, inside its stand-alone tray window).
  const std::string cls = ClassOf(w);
  if (cls == "__winex11_tray_icon" || cls == "__wine_tray_icon")
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(w);
  return TRUE;
}

BOOL CALLBACK AddTrayIcons(HWND w, LPARAM lp) {
  AddTrayIcon(w, lp);
  EnumChildWindows(w, AddTrayIcon, lp);
  return TRUE;
}

void TrayMenuTour(HWND main) {
  std::vector<HWND> icons;
  EnumWindows(AddTrayIcons, reinterpret_cast<LPARAM>(&icons));
  for (HWND icon : icons) {
    auto before = Shown();
    PostMessageA(icon, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(4, 4));
    PostMessageA(icon, WM_RBUTTONUP, 0, MAKELPARAM(4, 4));
    HWND menu = WaitNew(before, 2000);
    if (!menu) continue;
    if (ClassOf(menu) == "#32768") {
      Shot(menu, "tray-menu");
      Key(menu, VK_ESCAPE);
      if (!WaitGone(menu, 1500)) PostMessageA(main, WM_CANCELMODE, 0, 0);
      return;
    }
    Dismiss(menu);
  }
  Missed("tray-menu");
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 2 && std::string(argv[1]) == "--quick";
  if (argc < 2 || (quick && argc < 3)) {
    std::fprintf(stderr, "usage: ovshots [--quick] <Linux folder for the pictures>\n");
    return 2;
  }
  g_out = argv[quick ? 2 : 1];
  std::string winOut = "Z:" + g_out;
  for (char& c : winOut)
    if (c == '/') c = '\\';
  testutil::MakeDirs(winOut);
  TProgram p("shots");
  p.AddDistPlugins();
  if (!p.Start()) {
    std::fprintf(stderr, "orvane.exe could not be started\n");
    return 2;
  }
  g_pid = p.ProcessId();
  HWND main = p.MainWindow();
  if (!main) {
    std::fprintf(stderr, "orvane.exe shows no main window\n");
    return 2;
  }
  Sleep2(1500);

  if (HWND about = Open(main, cmAbout, "about")) {
    Key(about, VK_ESCAPE);
    if (!WaitGone(about, 2000)) Dismiss(about);
  }
  if (quick) {
    // The check of the test suite: a few windows of each kind.
    if (HWND prefs = Open(main, cmPreferences, "preferences-general")) Dismiss(prefs);
    JobEditorTour(main, 1);
  } else {
    PreferencesTour(main);
    JobEditorTour(main, 1000);
    NamedJob(main, "Morning reminder");
    NamedJob(main, "Nightly backup");
    EditJobTour(main);
    if (HWND vars = Open(main, cmVariables, "variables", 3000)) Dismiss(vars);
    if (HWND qj = Open(main, cmQuickJob, "quick-job", 3000)) Dismiss(qj);
    TrayMenuTour(main);
  }
  SetForegroundWindow(main);
  Sleep2(700);
  Shot(main, "main-window");

  p.Close();
  if (!p.WaitExit(30000)) p.Kill();
  Say(std::to_string(g_taken) + " pictures; " + std::to_string(g_missed.size()) + " windows not reached");
  // The quick check expects every window it asked for.
  return quick && !g_missed.empty() ? 1 : 0;
}
