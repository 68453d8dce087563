#include "uFileMon.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "BasicsUtil.h"
#include "OVCommaText.h"
#include "OVDialog.h"
#include "OVError.h"
#include "OVPluginHost.h"
#include "OVShell.h"
#include "uDM.h"

namespace {

const char kName[] = "Files Monitor";
const char kCause[] = "Files monitor";
// The byte that opens the save-results part; older blocks have the
// snapshot flag in its place.
constexpr uint8_t kMarker = 77;
constexpr uint32_t kListOne = 1;
constexpr uint32_t kListDifferent = 2;
// How long a stop waits for the polling thread.
constexpr DWORD kStopWaitMs = 2000;

uint32_t ClampInterval(uint32_t s) { return s < 1 ? 1 : s > 3600 ? 3600 : s; }

}  // namespace

// ------------------------------------------------------------ the block

TFileMonBlock ReadFileMonBlock(const void* data, int32_t size) {
  TFileMonBlock b;
  TFileMonSettings& s = b.Settings;
  TBlockReader r(data, size);
  // The stored settings length is not trusted: where the settings end is
  // found by reading them, and written again at the next stop.
  uint32_t settingsLength = 0, folders = 0;
  r.Dword(settingsLength);
  r.Dword(folders);
  // Each folder takes at least 6 bytes: a count beyond that is damage.
  if (folders > r.Size() / 6) return b;
  for (uint32_t i = 0; i < folders && r.ok(); ++i) {
    TWatchFolder f;
    r.String(f.Path);
    r.Bool(f.Subtree);
    if (r.ok()) s.Folders.push_back(std::move(f));
  }
  r.String(s.IncMask);
  r.String(s.ExcMask);
  r.Bool(s.WatchNew);
  r.Bool(s.WatchDeleted);
  r.Bool(s.WatchChanged);
  uint8_t kinds = 0;
  for (int bit = 0; bit < 5; ++bit) {
    bool on = true;
    r.Bool(on);
    if (on) kinds = static_cast<uint8_t>(kinds | 1u << bit);
  }
  s.ChangeKinds = kinds;
  r.Dword(s.Interval);
  s.Interval = ClampInterval(s.Interval);
  uint8_t marker = 0, flag = 0;
  r.Byte(marker);
  if (marker == kMarker) {
    uint32_t mode = kListOne;
    r.Bool(s.SaveResults);
    r.Dword(mode);
    s.OneList = mode == kListOne;
    r.String(s.OneListFN);
    r.String(s.NewListFN);
    r.String(s.DelListFN);
    r.String(s.ChgListFN);
    r.Byte(flag);
  } else {
    flag = marker;
  }
  if (!r.ok()) return b;
  b.Complete = true;
  b.SettingsEnd = r.Position();
  if (flag == 0) return b;

  uint32_t count = 0;
  if (!r.Dword(count)) return b;
  // Each entry takes at least 17 bytes.
  if (count > (r.Size() - r.Position()) / 17) return b;
  b.Snapshot.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    TStoredEntry e;
    if (!r.String(e.Path) || !r.Dword(e.Record.Time) || !r.Dword(e.Record.Size) || !r.Dword(e.Record.Attr)) {
      b.Snapshot.clear();
      return b;
    }
    b.Snapshot.push_back(std::move(e));
  }
  b.HasSnapshot = true;
  return b;
}

void WriteFileMonSettings(const TFileMonSettings& s, TBlockWriter& w) {
  size_t strings = 0;
  auto size = [](const std::string& t) { return t.size() + 5; };
  for (const auto& f : s.Folders) strings += size(f.Path) + 1;
  for (const std::string* t : {&s.IncMask, &s.ExcMask, &s.OneListFN, &s.NewListFN, &s.DelListFN, &s.ChgListFN})
    strings += size(*t);
  w.Dword(27 + strings - 4);
  w.Dword(s.Folders.size());
  for (const auto& f : s.Folders) w.String(f.Path).Bool(f.Subtree);
  w.String(s.IncMask).String(s.ExcMask);
  w.Bool(s.WatchNew).Bool(s.WatchDeleted).Bool(s.WatchChanged);
  for (int bit = 0; bit < 5; ++bit) w.Bool((s.ChangeKinds >> bit) & 1);
  w.Dword(ClampInterval(s.Interval));
  w.Byte(kMarker).Bool(s.SaveResults).Dword(s.OneList ? kListOne : kListDifferent);
  w.String(s.OneListFN).String(s.NewListFN).String(s.DelListFN).String(s.ChgListFN);
  w.Byte(0);
}

void WriteBlockWithSnapshot(const uint8_t* block, size_t settingsEnd, const TFileList& snapshot, TBlockWriter& w) {
  // The length is written as read, so a damaged one is mended here.
  w.Dword(settingsEnd - 4);
  for (size_t i = 4; i + 1 < settingsEnd; ++i) w.Byte(block[i]);
  w.Byte(1);
  w.Dword(snapshot.Count());
  for (size_t i = 0; i < snapshot.Count(); ++i) {
    TPackedRecord p = snapshot.Packed(i);
    w.String(snapshot[i].Key).Dword(p.Time).Dword(p.Size).Dword(p.Attr);
  }
}

// ------------------------------------------------------------ the monitor

namespace {

// One started event.
class TOVFileMonitor : public TMyRefresh {
 public:
  explicit TOVFileMonitor(const TOVRunnerParams& params) : Params(params) {}

  TOVRunnerParams Params;
  size_t SettingsEnd = 0;
  bool SaveResults = false;
  bool OneList = true;
  std::string OneListFN, NewListFN, DelListFN, ChgListFN;

 protected:
  bool RefreshDone(const std::vector<TChange>& changes) override {
    // A stop has begun: the host is no longer asked, and the snapshot stays
    // as it was so that the next start finds these changes again.
    if (!RefreshingEnabled()) return false;
    if (SaveResults) SaveLists(changes);
    if (!RefreshingEnabled()) return false;
    HostRunJob(Params.JobID, kCause);
    return true;
  }

 private:
  void SaveLists(const std::vector<TChange>& changes) {
    std::vector<std::string> lists[3];
    for (const auto& c : changes) lists[OneList ? 0 : static_cast<int>(c.Type)].push_back(c.Path);
    if (OneList) {
      WriteList(OneListFN, lists[0]);
      return;
    }
    WriteList(NewListFN, lists[static_cast<int>(TChangeType::New)]);
    WriteList(DelListFN, lists[static_cast<int>(TChangeType::Deleted)]);
    WriteList(ChgListFN, lists[static_cast<int>(TChangeType::Changed)]);
  }

  // The list goes to a file of its own first and then takes the name, so
  // a job still reading the previous list never sees half of the new one.
  // A list that cannot be written is reported and polling goes on.
  static void WriteList(const std::string& path, const std::vector<std::string>& lines) {
    if (lines.empty() || path.empty()) return;
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    std::string temp = path + ".~fm";
    DWORD err = 0;
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      err = GetLastError();
    } else {
      DWORD written = 0;
      if (!WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written != text.size())
        err = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
      CloseHandle(h);
      if (!err && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) err = GetLastError();
      if (err) DeleteFileA(temp.c_str());
    }
    if (err)
      HostLog(OV_LOG_ERROR, Format("%s: cannot write the list file \"%s\" (%s)", kName, path.c_str(),
                                   SystemErrorText(err).c_str()));
  }
};

std::vector<std::shared_ptr<TOVFileMonitor>> g_monitors;

std::vector<std::string> SplitMasks(const std::string& text) { return SplitCommaText(HostExpandVars(text)); }

bool StartFileMonitor(TOVRunnerParams& params) {
  TFileMonBlock b = ReadFileMonBlock(params.Data, params.Size);
  if (!b.Complete) {
    LogIncompleteSettings(kName);
    return false;
  }
  const TFileMonSettings& s = b.Settings;
  auto m = std::make_shared<TOVFileMonitor>(params);
  for (const auto& f : s.Folders) m->Folders.push_back({HostExpandVars(f.Path), f.Subtree});
  // The masks first: setting them drops the snapshot.
  m->SetIncludeMasks(SplitMasks(s.IncMask));
  m->SetExcludeMasks(SplitMasks(s.ExcMask));
  m->WatchNew = s.WatchNew;
  m->WatchDeleted = s.WatchDeleted;
  m->WatchChanged = s.WatchChanged;
  m->ChangeKinds = s.ChangeKinds;
  m->Interval = s.Interval;
  m->SaveResults = s.SaveResults;
  m->OneList = s.OneList;
  m->OneListFN = s.OneListFN;
  m->NewListFN = s.NewListFN;
  m->DelListFN = s.DelListFN;
  m->ChgListFN = s.ChgListFN;
  m->SettingsEnd = b.SettingsEnd;
  // A stored snapshot, even an empty one (the folders were empty), is what
  // the first pass compares with. Its paths are the files' real names:
  // they are not expanded again.
  if (b.HasSnapshot) {
    auto list = std::make_unique<TFileList>();
    for (auto& e : b.Snapshot)
      list->Add({std::move(e.Path), e.Record.Time, e.Record.Size, e.Record.Attr, true});
    m->SetSnapshot(std::move(list));
  }
  if (!m->Start()) return false;
  g_monitors.push_back(m);
  return true;
}

// Ends the monitor's polling; its thread ends by itself, at the latest
// after the scan or host call it is in.
void EndPolling(TOVFileMonitor& m) {
  m.DisableRefreshing();
  m.Terminate();
  m.WaitFor(kStopWaitMs);
}

void StopFileMonitor(TOVRunnerParams& params) {
  auto it = std::find_if(g_monitors.begin(), g_monitors.end(),
                         [&](const auto& m) { return m->Params.Data == params.Data; });
  if (it == g_monitors.end()) return;
  std::shared_ptr<TOVFileMonitor> m = *it;
  g_monitors.erase(it);
  EndPolling(*m);
  // Stored only when a snapshot exists: a stop before the first pass keeps
  // the block (and any snapshot it already holds) as it is.
  m->WithSnapshot([&](const TFileList* snapshot) {
    if (!snapshot || !params.Data || m->SettingsEnd < 5 || m->SettingsEnd > static_cast<size_t>(params.Size))
      return;
    TBlockWriter w;
    WriteBlockWithSnapshot(static_cast<const uint8_t*>(params.Data), m->SettingsEnd, *snapshot, w);
    if (!w.StoreTo(params)) HostLog(OV_LOG_ERROR, Format("%s: not enough memory to keep the snapshot", kName));
  });
}

}  // namespace

std::vector<std::shared_ptr<TMyRefresh>> StartedFileMonitors() {
  return {g_monitors.begin(), g_monitors.end()};
}

void ReleaseFileMonitors() {
  std::vector<std::shared_ptr<TOVFileMonitor>> left;
  left.swap(g_monitors);
  for (auto& m : left) EndPolling(*m);
}

// ------------------------------------------------------------ the dialogs

namespace {

class TfAddEditFolders : public OVDialog {
 public:
  TfAddEditFolders(bool adding, TWatchFolder folder) : OVDialog(IDD_ADDEDITFOLDER), Folder(std::move(folder)), adding_(adding) {}
  TWatchFolder Folder;

 protected:
  bool OnInit() override {
    SetWindowTextA(Handle(), adding_ ? "Add folder for watch" : "Edit folder for watch");
    SetItemText(IDC_eFolder, Folder.Path);
    SetChecked(IDC_cbSubtree, Folder.Subtree);
    SetHint(IDC_bBrowseFolder, "Select folder");
    return true;
  }
  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    if (id == IDC_bBrowseFolder) {
      Browse();
      return true;
    }
    if (id == IDC_bFolderVariable) {
      SelectVariableAtCaret(*this);
      return true;
    }
    return false;
  }
  void OnOK() override {
    Folder.Path = GetItemText(IDC_eFolder);
    Folder.Subtree = IsChecked(IDC_cbSubtree);
    End(IDOK);
  }

 private:
  void Browse() {
    std::string folder;
    if (BrowseForFolder(Handle(), "Select folder:", GetItemText(IDC_eFolder), &folder)) SetItemText(IDC_eFolder, folder);
  }
  bool adding_;
};

class TfFileMon : public OVDialog {
 public:
  explicit TfFileMon(const TFileMonSettings& s) : OVDialog(IDD_FILEMON), Settings(s) {}
  TFileMonSettings Settings;

 protected:
  bool OnInit() override {
    HWND tabs = Item(IDC_tcPages);
    for (int i = 0; i < 2; ++i) {
      TCITEMA page{};
      page.mask = TCIF_TEXT;
      page.pszText = const_cast<char*>(i == 0 ? "Monitoring" : "Save results");
      SendMessageA(tabs, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&page));
    }
    // The pages' controls lie over the tab control.
    SetWindowPos(tabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowPage(0);
    HWND list = Item(IDC_lvFolders);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    // A folder's icon shows whether its subtree is watched.
    HIMAGELIST icons = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                        ILC_COLOR32 | ILC_MASK, 2, 0);
    // The shell's closed folder for a folder alone, its open one with the subtree.
    for (int index : {3, 4}) {
      HICON icon = nullptr;
      if (ExtractIconExA("shell32.dll", index, nullptr, &icon, 1) == 1 && icon) {
        ImageList_AddIcon(icons, icon);
        DestroyIcon(icon);
      }
    }
    ListView_SetImageList(list, icons, LVSIL_SMALL);  // the list view destroys it
    AddColumn(list, 0, "Folder", 180);
    AddColumn(list, 1, "Subtree", 50);
    SetHint(IDC_bAdd, "Add folder to list");
    SetHint(IDC_bEdit, "Edit");
    SetHint(IDC_bDelete, "Delete selected folder from list");
    SetHint(IDC_bClear, "Clear list");
    SetHint(IDC_eIncMask, "Samples: *.* (all files), *.txt, *.doc, report??.xls");
    for (int id : {IDC_bOneListFN, IDC_bNewListFN, IDC_bDelListFN, IDC_bChgListFN}) SetHint(id, "Select file");
    for (const auto& f : Settings.Folders) InsertFolder(-1, f);
    SetItemText(IDC_eIncMask, Settings.IncMask);
    SetItemText(IDC_eExcMask, Settings.ExcMask);
    SetChecked(IDC_cbNew, Settings.WatchNew);
    SetChecked(IDC_cbDel, Settings.WatchDeleted);
    SetChecked(IDC_cbChg, Settings.WatchChanged);
    for (int bit = 0; bit < 5; ++bit) SetChecked(kKindIds[bit], (Settings.ChangeKinds >> bit) & 1);
    SendDlgItemMessageA(Handle(), IDC_udInterval, UDM_SETRANGE32, 1, 3600);
    SendDlgItemMessageA(Handle(), IDC_udInterval, UDM_SETPOS32, 0, static_cast<LPARAM>(Settings.Interval));
    SetItemInt(IDC_eInterval, static_cast<int>(Settings.Interval));
    SetChecked(IDC_cbSaveResults, Settings.SaveResults);
    CheckRadio(IDC_rbOneList, IDC_rbDiffList, Settings.OneList ? IDC_rbOneList : IDC_rbDiffList);
    SetItemText(IDC_eOneListFN, Settings.OneListFN);
    SetItemText(IDC_eNewListFN, Settings.NewListFN);
    SetItemText(IDC_eDelListFN, Settings.DelListFN);
    SetItemText(IDC_eChgListFN, Settings.ChgListFN);
    UpdateKinds();
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    switch (id) {
      case IDC_bAdd:
      case IDM_FOLDERADD:
        EditFolder(true);
        return true;
      case IDC_bEdit:
      case IDM_FOLDEREDIT:
        EditFolder(false);
        return true;
      case IDC_bDelete:
      case IDM_FOLDERDELETE: {
        int i = Selected();
        if (i >= 0) ListView_DeleteItem(Item(IDC_lvFolders), i);
        return true;
      }
      case IDC_bClear:
      case IDM_FOLDERCLEAR:
        ListView_DeleteAllItems(Item(IDC_lvFolders));
        return true;
      case IDC_cbChg:
        if (code == BN_CLICKED) UpdateKinds();
        return true;
      case IDC_bVariable:
        SelectVariableAtCaret(*this);
        return true;
      case IDC_bOneListFN:
      case IDC_bNewListFN:
      case IDC_bDelListFN:
      case IDC_bChgListFN:
        SelectListFile(id - IDC_bOneListFN + IDC_eOneListFN);
        return true;
      default:
        return false;
    }
  }

  bool OnNotify(int id, NMHDR* header, LRESULT&) override {
    if (id == IDC_tcPages && header->code == TCN_SELCHANGE) {
      ShowPage(static_cast<int>(SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
      return true;
    }
    if (id == IDC_lvFolders && header->code == NM_DBLCLK) {
      EditFolder(false);
      return true;
    }
    return false;
  }

  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override {
    if (msg != WM_CONTEXTMENU || reinterpret_cast<HWND>(wp) != Item(IDC_lvFolders)) return false;
    POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    if (lp == -1) {
      RECT r;
      GetWindowRect(Item(IDC_lvFolders), &r);
      pt = {r.left, r.top};
    }
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, IDM_FOLDERADD, "Add...");
    AppendMenuA(menu, MF_STRING, IDM_FOLDEREDIT, "Edit...");
    AppendMenuA(menu, MF_STRING, IDM_FOLDERDELETE, "Delete");
    AppendMenuA(menu, MF_STRING, IDM_FOLDERCLEAR, "Clear list");
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, pt.x, pt.y, 0, Handle(), nullptr);
    DestroyMenu(menu);
    result = TRUE;
    return true;
  }

  void OnOK() override {
    if (ListView_GetItemCount(Item(IDC_lvFolders)) == 0) {
      MessageBeep(MB_OK);
      SendDlgItemMessageA(Handle(), IDC_tcPages, TCM_SETCURSEL, 0, 0);
      ShowPage(0);
      Focus(IDC_lvFolders);
      return;
    }
    TFileMonSettings s;
    s.Folders = Folders();
    s.IncMask = GetItemText(IDC_eIncMask);
    s.ExcMask = GetItemText(IDC_eExcMask);
    s.WatchNew = IsChecked(IDC_cbNew);
    s.WatchDeleted = IsChecked(IDC_cbDel);
    s.WatchChanged = IsChecked(IDC_cbChg);
    s.ChangeKinds = 0;
    for (int bit = 0; bit < 5; ++bit)
      if (IsChecked(kKindIds[bit])) s.ChangeKinds = static_cast<uint8_t>(s.ChangeKinds | 1u << bit);
    s.Interval = ClampInterval(static_cast<uint32_t>(GetItemInt(IDC_eInterval, 60)));
    s.SaveResults = IsChecked(IDC_cbSaveResults);
    s.OneList = CheckedRadio(IDC_rbOneList, IDC_rbDiffList) != IDC_rbDiffList;
    s.OneListFN = GetItemText(IDC_eOneListFN);
    s.NewListFN = GetItemText(IDC_eNewListFN);
    s.DelListFN = GetItemText(IDC_eDelListFN);
    s.ChgListFN = GetItemText(IDC_eChgListFN);
    Settings = std::move(s);
    End(IDOK);
  }

 private:
  static constexpr int kKindIds[5] = {IDC_cbChgTM, IDC_cbChgTL, IDC_cbChgSM, IDC_cbChgSL, IDC_cbChgA};

  // Page 0 "Monitoring", page 1 "Save results".
  void ShowPage(int page) {
    static const int kMonitoring[] = {IDC_lFolders,  IDC_lvFolders, IDC_bAdd,     IDC_bEdit,   IDC_bDelete,
                                      IDC_bClear,    IDC_lIncMask,  IDC_eIncMask, IDC_lExcMask, IDC_eExcMask,
                                      IDC_gFilter,   IDC_cbNew,     IDC_cbDel,    IDC_cbChg,   IDC_cbChgTM,
                                      IDC_cbChgTL,   IDC_cbChgSM,   IDC_cbChgSL,  IDC_cbChgA,  IDC_lInterval,
                                      IDC_eInterval, IDC_udInterval};
    static const int kSaving[] = {IDC_cbSaveResults, IDC_rbOneList,  IDC_rbDiffList, IDC_lOneListFN, IDC_eOneListFN,
                                  IDC_bOneListFN,    IDC_lNewListFN, IDC_eNewListFN, IDC_bNewListFN, IDC_lDelListFN,
                                  IDC_eDelListFN,    IDC_bDelListFN, IDC_lChgListFN, IDC_eChgListFN, IDC_bChgListFN};
    for (int id : kMonitoring) Show(id, page == 0);
    for (int id : kSaving) Show(id, page == 1);
  }

  static void AddColumn(HWND list, int i, const char* text, int width) {
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<char*>(text);
    col.cx = width;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
  }

  // at -1: at the end; otherwise the entry at that index is replaced.
  void InsertFolder(int at, const TWatchFolder& f) {
    HWND list = Item(IDC_lvFolders);
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
    item.pszText = const_cast<char*>(f.Path.c_str());
    item.lParam = f.Subtree ? 1 : 0;
    item.iImage = f.Subtree ? 1 : 0;
    if (at < 0) {
      item.iItem = ListView_GetItemCount(list);
      at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    } else {
      item.iItem = at;
      SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    LVITEMA sub{};
    sub.iSubItem = 1;
    sub.pszText = const_cast<char*>(f.Subtree ? "Yes" : "");
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&sub));
  }

  int Selected() const { return ListView_GetNextItem(Item(IDC_lvFolders), -1, LVNI_SELECTED); }

  TWatchFolder FolderAt(int i) const {
    HWND list = Item(IDC_lvFolders);
    char text[MAX_PATH * 4] = "";
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = i;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return {text, item.lParam != 0};
  }

  std::vector<TWatchFolder> Folders() const {
    std::vector<TWatchFolder> out;
    for (int i = 0, n = ListView_GetItemCount(Item(IDC_lvFolders)); i < n; ++i) out.push_back(FolderAt(i));
    return out;
  }

  void EditFolder(bool adding) {
    int i = adding ? -1 : Selected();
    if (!adding && i < 0) return;
    TfAddEditFolders dlg(adding, adding ? TWatchFolder{"C:\\Program Files", false} : FolderAt(i));
    if (dlg.DoModal(Handle()) == IDOK) InsertFolder(i, dlg.Folder);
  }

  void UpdateKinds() {
    bool on = IsChecked(IDC_cbChg);
    for (int id : kKindIds) Enable(id, on);
  }

  void SelectListFile(int edit) {
    TFileBox box;
    box.save = true;
    box.filter = "Text files\0*.txt\0";
    box.defExt = "txt";
    box.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    std::string path = GetItemText(edit);
    if (ChooseFile(Handle(), box, path)) SetItemText(edit, path);
  }
};

bool ConfigFileMonitor(TOVRunnerParams& params) {
  TFileMonBlock b = ReadFileMonBlock(params.Data, params.Size);
  // An empty or unreadable block shows the defaults.
  TfFileMon dlg(b.Complete ? b.Settings : TFileMonSettings{});
  if (dlg.DoModal() != IDOK) return false;
  TBlockWriter w;
  WriteFileMonSettings(dlg.Settings, w);
  if (!w.StoreTo(params)) throw std::runtime_error("Not enough memory to keep the monitor's settings");
  return true;
}

}  // namespace

TRunnerCase FileMonitorCase() {
  return {.Config = ConfigFileMonitor, .Start = StartFileMonitor, .Stop = StopFileMonitor};
}
