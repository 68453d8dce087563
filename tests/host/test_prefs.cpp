// The file-list picker behind SelectFiles, the filter editor, the
// preferences and the plug-in information window, driven from a script
// thread while the test's thread runs them. Every key lives under a
// registry root of this test.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <functional>
#include <map>

#include "DialogDriver.h"
#include "Host.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVMsgBox.h"
#include "OVVars.h"
#include "RegistryStorage.h"
#include "TestUtil.h"
#include "uFiltEd.h"
#include "uGetFilesList.h"
#include "uPluginInfo.h"
#include "uPrefs.h"
#include "uPrefsRes.h"
#include "uSettings.h"

using testutil::Click;
using testutil::FocusItem;
using testutil::GetText;
using testutil::SetText;
using testutil::TDialogScript;
using testutil::WaitForDialog;

namespace {

std::string g_root;
std::string g_dir;

// ---- the host allocator, counted

struct TBlocks {
  int allocs = 0;
  std::vector<std::pair<void*, int32_t>> freed;
};
TBlocks g_blocks;

void OVAPI CountAlloc(void** p, int32_t size) {
  ++g_blocks.allocs;
  *p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size > 0 ? size : 1));
}
void OVAPI CountFree(void** p, int32_t size) {
  g_blocks.freed.emplace_back(*p, size);
  HeapFree(GetProcessHeap(), 0, *p);
}

// ---- message boxes

std::vector<std::string> g_asked;
int Answer(HWND, const char* text, const char*, UINT) {
  g_asked.push_back(text);
  return IDOK;
}

// ---- driving controls

void PostCommand(HWND dlg, int id) { PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
bool StillOpen(HWND dlg) { return IsWindowVisible(dlg) != FALSE; }

// The focus of the thread that runs a dialog.
HWND FocusOf(HWND dlg) {
  GUITHREADINFO gti{};
  gti.cbSize = sizeof gti;
  GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &gti);
  return gti.hwndFocus;
}

std::vector<std::string> ListTexts(HWND dlg, int id) {
  std::vector<std::string> out;
  HWND list = GetDlgItem(dlg, id);
  int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    char buf[1024] = "";
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
    out.push_back(buf);
  }
  return out;
}

std::vector<int> Selected(HWND dlg, int id) {
  std::vector<int> out;
  HWND list = GetDlgItem(dlg, id);
  int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i)
    if (SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) out.push_back(i);
  return out;
}

void SelectOnly(HWND dlg, int id, const std::vector<int>& rows) {
  HWND list = GetDlgItem(dlg, id);
  SendMessageA(list, LB_SETSEL, FALSE, -1);
  for (int r : rows) SendMessageA(list, LB_SETSEL, TRUE, r);
  if (!rows.empty()) SendMessageA(list, LB_SETCARETINDEX, static_cast<WPARAM>(rows[0]), FALSE);
}

int Find(const std::vector<std::string>& v, const std::string& s) {
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i] == s) return static_cast<int>(i);
  return -1;
}

// Waits until a nested dialog is gone and its opener's handler has ended:
// a message sent to the opener is served once its thread waits again.
void CloseNested(HWND box, HWND owner) {
  for (int i = 0; i < 1000 && IsWindow(box); ++i) Sleep(10);
  ASSERT_FALSE(IsWindow(box));
  SendMessageA(owner, WM_NULL, 0, 0);
}

// Answers the input box that a posted command opens.
void AnswerInput(const std::string& expectCaption, std::string* shown, const std::string& value) {
  HWND box = WaitForDialog(expectCaption, 5000);
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(GetText(box, IDC_IPROMPT), "Enter filename:");
  if (shown) *shown = GetText(box, IDC_IVALUE);
  SetText(box, IDC_IVALUE, value);
  HWND owner = GetWindow(box, GW_OWNER);
  Click(box, IDOK);
  CloseNested(box, owner);
}

void Notify(HWND dlg, int id, UINT code) {
  NMHDR n{GetDlgItem(dlg, id), static_cast<UINT_PTR>(id), code};
  SendMessageA(dlg, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&n));
}

void ShowPage(HWND dlg, int page) {
  SendDlgItemMessageA(dlg, IDC_PAGES2, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  Notify(dlg, IDC_PAGES2, static_cast<UINT>(TCN_SELCHANGE));
}

void SelectRow(HWND list, int row) {
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void PickListRow(HWND dlg, int id, int row) {
  SendDlgItemMessageA(dlg, id, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
  SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
}

// ---- the registry under our root, as one comparable text

void Dump(HKEY key, const std::string& path, std::string& out) {
  out += "[" + path + "]\n";
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD nameLen = sizeof name, type = 0, size = 0;
    BYTE data[8192];
    size = sizeof data;
    if (RegEnumValueA(key, i, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    out += std::string(name) + "=" + std::to_string(type) + ":" + std::string(reinterpret_cast<char*>(data), size) + "\n";
  }
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD nameLen = sizeof name;
    if (RegEnumKeyExA(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY sub;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
      Dump(sub, path + "\\" + name, out);
      RegCloseKey(sub);
    }
  }
}

std::string RegistryText() {
  std::string out;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, g_root.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  Dump(key, "", out);
  RegCloseKey(key);
  return out;
}

std::string Winlogon() { return g_root + "\\HKLM\\" + WinlogonKey(); }

std::string RegText(const std::string& key, const std::string& name) {
  char buf[1024];
  DWORD size = sizeof buf;
  if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
    return "<missing>";
  return buf;
}

void PutText(const std::string& key, const std::string& name, const std::string& text) {
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_SZ, text.c_str(),
                            static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
}

DWORD RegDword(const std::string& name) {
  DWORD v = 0xDEAD, size = sizeof v;
  RegGetValueA(HKEY_CURRENT_USER, (g_root + "\\HKCU\\" + kSettingsKey).c_str(), name.c_str(), RRF_RT_REG_DWORD,
               nullptr, &v, &size);
  return v;
}

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Settings;
    g_asked.clear();
    SetMsgBoxResponder(Answer);
    g_blocks = TBlocks{};
    HostRecord.Alloc = CountAlloc;
    HostRecord.Free = CountFree;
    MainLog->Clear();
  }
  void TearDown() override {
    SetMsgBoxResponder(nullptr);
    InitHostRecord();
    Settings = saved_;
  }
  // The SelectFiles service on a block; the script drives the picker.
  static Bool32 SelectFiles(char** text, int32_t* size, std::function<void(HWND)> script) {
    TDialogScript s(std::move(script));
    Bool32 r = HostRecord.SelectFiles(text, size);
    EXPECT_TRUE(s.Finished());
    EXPECT_EQ(s.Caption(), "Files");
    return r;
  }
  static char* Block(const std::string& text, int32_t size) {
    void* p = nullptr;
    CountAlloc(&p, size);
    std::memcpy(p, text.data(), std::min(text.size(), static_cast<size_t>(size)));
    return static_cast<char*>(p);
  }
  TSettings saved_;
};

}  // namespace

// ------------------------------------------------------------ SelectFiles

TEST_F(Dialogs, SelectFilesReadsTheTextWithinItsSizeAndAnswersAFreshBlock) {
  // No block: an empty list; Accept gives "" in a block of one byte.
  char* text = nullptr;
  int32_t size = 0;
  std::vector<std::string> shown;
  EXPECT_NE(SelectFiles(&text, &size, [&](HWND dlg) { shown = ListTexts(dlg, IDC_RESULT); Click(dlg, IDOK); }), 0);
  EXPECT_TRUE(shown.empty());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(size, 1);
  EXPECT_STREQ(text, "");
  EXPECT_TRUE(g_blocks.freed.empty());

  // A size above 0 with a null pointer is an empty list, and nothing is freed.
  char* none = nullptr;
  int32_t noneSize = 12;
  EXPECT_NE(SelectFiles(&none, &noneSize, [&](HWND dlg) { shown = ListTexts(dlg, IDC_RESULT); Click(dlg, IDOK); }), 0);
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(noneSize, 1);
  EXPECT_TRUE(g_blocks.freed.empty());

  // The text is read within its declared size: no zero inside the block.
  char* cut = Block("C:\\a.txt,C:\\b.txt", 8);
  int32_t cutSize = 8;
  EXPECT_NE(SelectFiles(&cut, &cutSize, [&](HWND dlg) { shown = ListTexts(dlg, IDC_RESULT); Click(dlg, IDOK); }), 0);
  EXPECT_EQ(shown, (std::vector<std::string>{"C:\\a.txt"}));
  EXPECT_STREQ(cut, "C:\\a.txt");
  EXPECT_EQ(cutSize, 9);
  ASSERT_EQ(g_blocks.freed.size(), 1u);
  EXPECT_EQ(g_blocks.freed[0].second, 8);

  // Entries with blanks, commas and quotes, and an empty one, come back in
  // the same comma text; the old block is freed with its size.
  const std::string rich = "C:\\x.txt,\"C:\\with blank\\*.*\",\"a,b\",\"say \"\"hi\"\"\",\"\"";
  char* block = Block(rich + '\0', static_cast<int32_t>(rich.size() + 1));
  char* old = block;
  int32_t blockSize = static_cast<int32_t>(rich.size() + 1);
  g_blocks.freed.clear();
  EXPECT_NE(SelectFiles(&block, &blockSize, [&](HWND dlg) { shown = ListTexts(dlg, IDC_RESULT); Click(dlg, IDOK); }), 0);
  EXPECT_EQ(shown, (std::vector<std::string>{"C:\\x.txt", "C:\\with blank\\*.*", "a,b", "say \"hi\"", ""}));
  EXPECT_EQ(std::string(block), rich);
  EXPECT_EQ(blockSize, static_cast<int32_t>(rich.size() + 1));
  ASSERT_EQ(g_blocks.freed.size(), 1u);
  EXPECT_EQ(g_blocks.freed[0], std::make_pair(static_cast<void*>(old), static_cast<int32_t>(rich.size() + 1)));

  // A list of one empty entry travels as a pair of double quotes.
  char* empty = Block("\"\"", 3);
  int32_t emptySize = 3;
  EXPECT_NE(SelectFiles(&empty, &emptySize, [&](HWND dlg) { shown = ListTexts(dlg, IDC_RESULT); Click(dlg, IDOK); }), 0);
  EXPECT_EQ(shown, (std::vector<std::string>{""}));
  EXPECT_STREQ(empty, "\"\"");
  EXPECT_EQ(emptySize, 3);

  // Cancel keeps pointer and size, whatever was changed in the picker.
  char* kept = block;
  int32_t keptSize = blockSize;
  int allocs = g_blocks.allocs;
  g_blocks.freed.clear();
  EXPECT_EQ(SelectFiles(&kept, &keptSize, [&](HWND dlg) { Click(dlg, IDC_BREMALL); Click(dlg, IDCANCEL); }), 0);
  EXPECT_EQ(kept, block);
  EXPECT_EQ(keptSize, blockSize);
  EXPECT_EQ(g_blocks.allocs, allocs);
  EXPECT_TRUE(g_blocks.freed.empty());
  for (char* p : {text, none, cut, block, empty}) HeapFree(GetProcessHeap(), 0, p);
}

TEST_F(Dialogs, EntryIconsComeFromTheExpandedTextAndMissingSharesDoNotHang) {
  std::string dir = testutil::MakeTempDir("icons");
  testutil::WriteFileText(dir + "here.txt", "x");
  testutil::MakeDirs(dir + "sub");
  std::vector<std::string> entries{"%TempDir%*.tmp", dir + "here.txt", dir + "sub", dir + "gone.txt",
                                   "\\\\no-such-host.invalid\\share\\file.txt"};
  std::vector<LRESULT> kinds;
  DWORD start = GetTickCount();
  TDialogScript s([&](HWND dlg) {
    for (int i = 0; i < 5; ++i) kinds.push_back(SendDlgItemMessageA(dlg, IDC_RESULT, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
    // Repaints draw from what was found once.
    RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Click(dlg, IDCANCEL);
  });
  TfGetFilesList dlg(entries, Settings.Filter);
  dlg.DoModal();
  EXPECT_TRUE(s.Finished());
  EXPECT_EQ(kinds, (std::vector<LRESULT>{ekMask, ekFile, ekDirectory, ekMissing, ekMissing}));
  EXPECT_LT(GetTickCount() - start, 30000u);
  EXPECT_EQ(EntryKindOf(dir + "s?b"), ekMask);
  testutil::RemoveTree(dir);
}

TEST_F(Dialogs, ThePickerAddsFromItsViewsAndByHandWithoutDuplicates) {
  std::string dir = testutil::MakeTempDir("picker");
  for (const char* f : {"a.txt", "b.txt", "c.doc"}) testutil::WriteFileText(dir + f, "x");
  testutil::MakeDirs(dir + "sub");
  testutil::WriteFileText(dir + "sub\\inner.txt", "x");
  const std::string base = dir.substr(0, dir.size() - 1);
  std::vector<std::string> result;
  TDialogScript s([&](HWND dlg) {
    // A mask with a directory part opens the directory; the dialog stays.
    FocusItem(dlg, IDC_FNAME);
    SetText(dlg, IDC_FNAME, dir + "*.txt");
    Click(dlg, IDOK);
    EXPECT_TRUE(StillOpen(dlg));
    EXPECT_EQ(GetText(dlg, IDC_CURDIR), base);
    EXPECT_EQ(GetText(dlg, IDC_FNAME), "*.txt");
    std::vector<std::string> files = ListTexts(dlg, IDC_FILES);
    EXPECT_EQ(files, (std::vector<std::string>{"[..]", "[sub]", "a.txt", "b.txt"}));

    // Selected files, last to first; a second time adds nothing and the
    // file stays selected in the file view.
    SelectOnly(dlg, IDC_FILES, {Find(files, "a.txt"), Find(files, "[sub]")});
    Click(dlg, IDC_BADDSEL);
    EXPECT_EQ(ListTexts(dlg, IDC_RESULT), (std::vector<std::string>{dir + "a.txt", dir + "sub"}));
    EXPECT_EQ(Selected(dlg, IDC_RESULT), (std::vector<int>{0, 1}));
    EXPECT_TRUE(Selected(dlg, IDC_FILES).empty());
    SelectOnly(dlg, IDC_FILES, {Find(files, "a.txt")});
    Click(dlg, IDC_BADDSEL);
    EXPECT_EQ(ListTexts(dlg, IDC_RESULT).size(), 2u);
    EXPECT_EQ(Selected(dlg, IDC_FILES), (std::vector<int>{Find(files, "a.txt")}));

    // All files: the masks of the name field, not the files they match.
    SetText(dlg, IDC_FNAME, "*.txt;*.doc");
    Click(dlg, IDC_BADDALL);
    Click(dlg, IDC_BADDALL);
    EXPECT_EQ(ListTexts(dlg, IDC_RESULT),
              (std::vector<std::string>{dir + "a.txt", dir + "sub", dir + "*.txt", dir + "*.doc"}));

    // By hand: proposed is the current directory with *.*; a present text
    // is not added again.
    std::string proposed;
    PostCommand(dlg, IDC_BMANADD);
    AnswerInput("Manual add", &proposed, "X:\\typed.txt");
    EXPECT_EQ(proposed, dir + "*.*");
    PostCommand(dlg, IDC_BMANADD);
    AnswerInput("Manual add", nullptr, dir + "*.doc");
    std::vector<std::string> now = ListTexts(dlg, IDC_RESULT);
    ASSERT_EQ(now.size(), 5u);
    EXPECT_EQ(now[4], "X:\\typed.txt");
    EXPECT_EQ(Selected(dlg, IDC_RESULT), (std::vector<int>{4}));

    // Editing replaces the entry in place; a text another row holds is
    // refused and the row stays as it was.
    PostCommand(dlg, IDC_BMANEDIT);
    AnswerInput("Manual add", &proposed, "X:\\edited.txt");
    EXPECT_EQ(proposed, "X:\\typed.txt");
    EXPECT_EQ(ListTexts(dlg, IDC_RESULT)[4], "X:\\edited.txt");
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_RESULT, LB_GETITEMDATA, 4, 0), ekMissing);
    PostCommand(dlg, IDC_BMANEDIT);
    AnswerInput("Manual add", nullptr, dir + "a.txt");
    EXPECT_EQ(ListTexts(dlg, IDC_RESULT)[4], "X:\\edited.txt");

    // Removing the selected entries, then a double-click on a directory.
    SelectOnly(dlg, IDC_RESULT, {1, 4});
    Click(dlg, IDC_BREMSEL);
    EXPECT_EQ(ListTexts(dlg, IDC_RESULT), (std::vector<std::string>{dir + "a.txt", dir + "*.txt", dir + "*.doc"}));
    SelectOnly(dlg, IDC_FILES, {Find(files, "[sub]")});
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_FILES, LBN_DBLCLK), reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDC_FILES)));
    EXPECT_EQ(GetText(dlg, IDC_CURDIR), dir + "sub");
    EXPECT_EQ(ListTexts(dlg, IDC_FILES), (std::vector<std::string>{"[..]", "inner.txt"}));

    // A plain name in the name field accepts the dialog.
    FocusItem(dlg, IDC_FNAME);
    SetText(dlg, IDC_FNAME, "plain.txt");
    Click(dlg, IDOK);
  });
  TfGetFilesList dlg({}, Settings.Filter);
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_TRUE(s.Finished());
  EXPECT_EQ(dlg.Entries(), (std::vector<std::string>{dir + "a.txt", dir + "*.txt", dir + "*.doc"}));
  testutil::RemoveTree(dir);
}

// --------------------------------------------------------- filter editor

TEST_F(Dialogs, FilterPiecesPairUpAndEmptyHalvesAreDropped) {
  using TRows = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(SplitFilters("All files|*.*|Text|*.txt"), (TRows{{"All files", "*.*"}, {"Text", "*.txt"}}));
  EXPECT_EQ(SplitFilters("Odd|"), (TRows{{"Odd", ""}}));
  EXPECT_EQ(SplitFilters(""), TRows{});
  EXPECT_EQ(JoinFilters({{"A", "*.a"}, {"", "*.b"}, {"C", ""}, {"D", "*.d"}}), "A|*.a|D|*.d|");
}

TEST_F(Dialogs, TheFilterEditorKeepsTwentyRowsRefusesBarsAndItsListOutlivesACancel) {
  std::string filters;
  for (int i = 0; i < 22; ++i) filters += "N" + std::to_string(i) + "|*." + std::to_string(i) + "|";
  Settings.Filter = filters;
  int before = -1, after = -1;
  std::string row0, row19, pasted, typed;
  TDialogScript s([&](HWND dlg) {
    before = static_cast<int>(SendDlgItemMessageA(dlg, IDC_FILTER, CB_GETCOUNT, 0, 0));
    PostCommand(dlg, IDC_BEDITFILT);
    HWND ed = WaitForDialog("Filter Editor", 5000);
    ASSERT_NE(ed, nullptr);
    EXPECT_EQ(GetText(ed, IDC_FHNAME), "Filter Name");
    row0 = GetText(ed, IDC_FCELL0) + "|" + GetText(ed, IDC_FCELL0 + 1);
    row19 = GetText(ed, IDC_FCELL0 + 38) + "|" + GetText(ed, IDC_FCELL0 + 39);
    // A "|" neither typed nor pasted gets into a cell.
    HWND cell = GetDlgItem(ed, IDC_FCELL0 + 2);
    SendMessageA(cell, EM_SETSEL, 2, 2);
    SendMessageA(cell, WM_CHAR, '|', 0);
    typed = GetText(ed, IDC_FCELL0 + 2);
    SendMessageA(cell, EM_SETSEL, 0, 0);
    SendMessageA(cell, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("x|y|"));
    pasted = GetText(ed, IDC_FCELL0 + 2);
    // A row without its mask is dropped.
    SetText(ed, IDC_FCELL0 + 3, "");
    Click(ed, IDOK);
    CloseNested(ed, dlg);
    after = static_cast<int>(SendDlgItemMessageA(dlg, IDC_FILTER, CB_GETCOUNT, 0, 0));
    Click(dlg, IDCANCEL);
  });
  char* text = nullptr;
  int32_t size = 0;
  EXPECT_EQ(HostRecord.SelectFiles(&text, &size), 0);
  EXPECT_TRUE(s.Finished());
  EXPECT_EQ(before, 22);
  EXPECT_EQ(row0, "N0|*.0");
  EXPECT_EQ(row19, "N19|*.19");
  EXPECT_EQ(typed, "N1");
  EXPECT_EQ(pasted, "xyN1");
  EXPECT_EQ(after, 19);
  std::string expected;
  for (int i = 0; i < 20; ++i)
    if (i != 1) expected += "N" + std::to_string(i) + "|*." + std::to_string(i) + "|";
  EXPECT_EQ(Settings.Filter, expected);
  EXPECT_EQ(RegText(g_root + "\\HKCU\\" + kSettingsKey, "Filter"), expected);
}

// ------------------------------------------------------------ preferences

TEST_F(Dialogs, CancelLeavesSettingsCategoriesAndTheRegistryAsTheyWere) {
  Categories.Assign({{"Backups", 512}});
  ASSERT_TRUE(SaveSettings());
  const std::string registry = RegistryText();
  ASSERT_NE(registry.find("MaxLogSize"), std::string::npos);
  TSettings before = Settings;
  TDialogScript s([&](HWND dlg) {
    for (int id : {IDC_CBMINIMIZE, IDC_CBSHOWERRORS, IDC_CBWINSTARTUP, IDC_CBCLOSEASMIN, IDC_CBAUTOLOGON})
      SendDlgItemMessageA(dlg, id, BM_CLICK, 0, 0);
    SetText(dlg, IDC_EMAXLOG, "35");
    SetText(dlg, IDC_EUSER, "someone");
    SetText(dlg, IDC_EPASS, "pw");
    SetText(dlg, IDC_EJOBDIR, "D:\\elsewhere");
    ShowPage(dlg, 1);
    Click(dlg, IDC_BCATADD);
    SetText(dlg, IDC_ECATNAME, "Renamed");
    SendDlgItemMessageA(dlg, IDC_CCOLOR0, CB_SETCURSEL, 3, 0);
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_CCOLOR0, CBN_SELCHANGE), 0);
    Click(dlg, IDCANCEL);
  });
  EXPECT_FALSE(ShowPreferences(nullptr));
  EXPECT_TRUE(s.Finished());
  EXPECT_EQ(RegistryText(), registry);
  EXPECT_EQ(Categories.UserCategories(), (std::vector<TCategory>{{"Backups", 512}}));
  EXPECT_EQ(Settings.MinimizeOnRun, before.MinimizeOnRun);
  EXPECT_EQ(Settings.WinStartup, before.WinStartup);
  EXPECT_EQ(Settings.MaxLogSize, before.MaxLogSize);
  EXPECT_EQ(Settings.PendingJobDir, before.PendingJobDir);
  EXPECT_EQ(Settings.clrInfo1Font, before.clrInfo1Font);
  EXPECT_TRUE(g_asked.empty());
}

TEST_F(Dialogs, OkTakesTheOptionsAndWarnsOnceAboutChangedDirectories) {
  // Opening: the first page, focus on the first check box, the size as stored.
  std::string focusText, maxShown;
  auto run = [&](std::function<void(HWND)> edit) {
    g_asked.clear();
    TDialogScript s([&](HWND dlg) {
      // The focus arrives when the dialog is shown, after it is ready.
      for (int i = 0; i < 500 && !FocusOf(dlg); ++i) Sleep(10);
      char text[64] = "";
      GetWindowTextA(FocusOf(dlg), text, sizeof text);
      focusText = text;
      maxShown = GetText(dlg, IDC_EMAXLOG);
      edit(dlg);
      Click(dlg, IDOK);
    });
    EXPECT_TRUE(ShowPreferences(nullptr));
    EXPECT_TRUE(s.Finished());
  };
  Settings.MaxLogSize = 200;
  std::string jobs = Settings.JobDir, logs = Settings.LogDir;
  // Only the letter case of the Jobs directory: no warning. A typed size
  // beyond 1000 is brought down to it.
  run([&](HWND dlg) {
    SendDlgItemMessageA(dlg, IDC_CBMINIMIZE, BM_CLICK, 0, 0);
    SetText(dlg, IDC_EMAXLOG, "5000");
    std::string upper = jobs;
    CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    SetText(dlg, IDC_EJOBDIR, upper);
  });
  EXPECT_EQ(focusText, "&Minimize on run");
  EXPECT_EQ(maxShown, "200");
  EXPECT_TRUE(g_asked.empty());
  EXPECT_TRUE(Settings.MinimizeOnRun);
  EXPECT_EQ(Settings.MaxLogSize, 1000);
  EXPECT_EQ(RegDword("MaxLogSize"), 1000u);
  EXPECT_EQ(RegDword("MinimizeOnRun"), 1u);

  // Both directories changed: exactly one warning. An empty field is the
  // default folder, which is where this run already is: no warning for it.
  run([&](HWND dlg) {
    SetText(dlg, IDC_EJOBDIR, g_dir + "OtherJobs");
    SetText(dlg, IDC_ELOGDIR, "OtherLogs");
  });
  EXPECT_EQ(maxShown, "1000");
  EXPECT_EQ(g_asked, (std::vector<std::string>{"Please, restart Orvane."}));
  EXPECT_EQ(RegText(g_root + "\\HKCU\\" + kSettingsKey, "LogDir"), "OtherLogs\\");
  run([&](HWND dlg) {
    SetText(dlg, IDC_EJOBDIR, "");
    SetText(dlg, IDC_ELOGDIR, "Logs");
    SetText(dlg, IDC_EMAXLOG, "-5");
  });
  EXPECT_TRUE(g_asked.empty());
  EXPECT_EQ(Settings.MaxLogSize, 0);
  EXPECT_EQ(Settings.JobDir, jobs);
  EXPECT_EQ(Settings.LogDir, logs);
}

TEST_F(Dialogs, CategoriesAreEditedOnTheCopyAndPastedSeparatorsAreStripped) {
  Categories.Assign({{"Backups", 512}, {"Reports", 77}, {"Misc", 9}});
  std::vector<std::string> afterRemove;
  int selAfterRemove = 0;
  std::string fieldAfterRemove = "x", renamed, typedName;
  TDialogScript s([&](HWND dlg) {
    ShowPage(dlg, 1);
    EXPECT_EQ(ListTexts(dlg, IDC_LBCATS), (std::vector<std::string>{"Backups", "Reports", "Misc"}));
    // Removing the first category: none selected, the field empty.
    PickListRow(dlg, IDC_LBCATS, 0);
    EXPECT_EQ(GetText(dlg, IDC_ECATNAME), "Backups");
    Click(dlg, IDC_BCATDEL);
    afterRemove = ListTexts(dlg, IDC_LBCATS);
    selAfterRemove = static_cast<int>(SendDlgItemMessageA(dlg, IDC_LBCATS, LB_GETCURSEL, 0, 0));
    fieldAfterRemove = GetText(dlg, IDC_ECATNAME);
    // A paste of "a,b=c" renames without the separators; so does typing.
    PickListRow(dlg, IDC_LBCATS, 1);
    HWND edit = GetDlgItem(dlg, IDC_ECATNAME);
    SendMessageA(edit, EM_SETSEL, 4, 4);
    if (OpenClipboard(dlg)) {
      EmptyClipboard();
      HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, 6);
      std::memcpy(GlobalLock(mem), "a,b=c", 6);
      GlobalUnlock(mem);
      SetClipboardData(CF_TEXT, mem);
      CloseClipboard();
      SendMessageA(edit, WM_PASTE, 0, 0);
    }
    renamed = GetText(dlg, IDC_ECATNAME);
    SendMessageA(edit, WM_CHAR, ',', 0);
    SendMessageA(edit, WM_CHAR, '=', 0);
    SendMessageA(edit, WM_CHAR, '!', 0);
    typedName = GetText(dlg, IDC_ECATNAME);
    // Two quick adds; the second is moved up above the first.
    Click(dlg, IDC_BCATADD);
    Click(dlg, IDC_BCATADD);
    EXPECT_EQ(GetText(dlg, IDC_ECATNAME), "New category");
    EXPECT_EQ(FocusOf(dlg), edit);
    Click(dlg, IDC_BCATUP);
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_LBCATS, LB_GETCURSEL, 0, 0), 2);
    Click(dlg, IDC_BCATUP);
    Click(dlg, IDC_BCATDOWN);
    Click(dlg, IDC_BCATDOWN);
    Click(dlg, IDC_BCATDOWN);  // at the bottom already
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_LBCATS, LB_GETCURSEL, 0, 0), 3);
    // Dragging the first category onto the second moves it there.
    HWND list = GetDlgItem(dlg, IDC_LBCATS);
    const UINT dragMsg = RegisterWindowMessageA(DRAGLISTMSGSTRING);
    auto drag = [&](UINT what, int row) {
      RECT rc;
      SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc));
      DRAGLISTINFO info{what, list, {rc.left + 5, (rc.top + rc.bottom) / 2}};
      ClientToScreen(list, &info.ptCursor);
      return SendMessageA(dlg, dragMsg, IDC_LBCATS, reinterpret_cast<LPARAM>(&info));
    };
    EXPECT_TRUE(drag(DL_BEGINDRAG, 0));
    drag(DL_DRAGGING, 1);
    drag(DL_DROPPED, 1);
    EXPECT_EQ(ListTexts(dlg, IDC_LBCATS)[1], "Reports");
    EXPECT_EQ(SendDlgItemMessageA(dlg, IDC_LBCATS, LB_GETCURSEL, 0, 0), 1);
    Click(dlg, IDOK);
  });
  EXPECT_TRUE(ShowPreferences(nullptr));
  EXPECT_TRUE(s.Finished());
  EXPECT_EQ(afterRemove, (std::vector<std::string>{"Reports", "Misc"}));
  EXPECT_EQ(selAfterRemove, -1);
  EXPECT_EQ(fieldAfterRemove, "");
  EXPECT_EQ(renamed, "Miscabc");
  EXPECT_EQ(typedName, "Miscabc!");
  ASSERT_EQ(Categories.Count(), 5);
  EXPECT_EQ(Categories.Items(0).Name, "All Jobs");
  EXPECT_EQ(Categories.Items(1), (TCategory{"Miscabc!", 9}));
  EXPECT_EQ(Categories.Items(2), (TCategory{"Reports", 77}));
  EXPECT_EQ(Categories.Items(3).Name, "New category");
  EXPECT_EQ(Categories.Items(4).Name, "New category");
  EXPECT_NE(Categories.Items(3).Number, 0);
  EXPECT_NE(Categories.Items(4).Number, 0);
  EXPECT_NE(Categories.Items(3).Number, Categories.Items(4).Number);
  // Kept in "cats.ini" at once.
  EXPECT_NE(testutil::ReadFileText(Settings.JobDir + "cats.ini").find("CAT0=Miscabc!,9"), std::string::npos);
}

TEST_F(Dialogs, AutomaticLogonWritesOnlyWhatTheUserChanged) {
  PutText(Winlogon(), "AutoAdminLogon", "1");
  PutText(Winlogon(), "DefaultUserName", "other");
  PutText(Winlogon(), "DefaultPassword", "secret");
  LoadAutoLogon();
  bool checked = false;
  std::string user, pass;
  LONG_PTR style = 0;
  TDialogScript s([&](HWND dlg) {
    checked = IsDlgButtonChecked(dlg, IDC_CBAUTOLOGON) == BST_CHECKED;
    user = GetText(dlg, IDC_EUSER);
    pass = GetText(dlg, IDC_EPASS);
    style = GetWindowLongPtrA(GetDlgItem(dlg, IDC_EPASS), GWL_STYLE);
    // Another tool changes the password while the dialog is open.
    PutText(Winlogon(), "DefaultPassword", "changed elsewhere");
    SetText(dlg, IDC_EUSER, "me");
    Click(dlg, IDOK);
  });
  EXPECT_TRUE(ShowPreferences(nullptr));
  EXPECT_TRUE(s.Finished());
  EXPECT_TRUE(checked);
  EXPECT_EQ(user, "other");
  EXPECT_EQ(pass, "secret");
  EXPECT_TRUE(style & ES_PASSWORD);
  EXPECT_EQ(RegText(Winlogon(), "DefaultUserName"), "me");
  EXPECT_EQ(RegText(Winlogon(), "DefaultPassword"), "changed elsewhere");
  EXPECT_EQ(RegText(Winlogon(), "AutoAdminLogon"), "1");

  // Turning it off: "0" and the password gone.
  TDialogScript off([&](HWND dlg) {
    SendDlgItemMessageA(dlg, IDC_CBAUTOLOGON, BM_CLICK, 0, 0);
    Click(dlg, IDOK);
  });
  EXPECT_TRUE(ShowPreferences(nullptr));
  EXPECT_EQ(RegText(Winlogon(), "AutoAdminLogon"), "0");
  EXPECT_EQ(RegText(Winlogon(), "DefaultPassword"), "<missing>");
  EXPECT_EQ(RegText(Winlogon(), "DefaultUserName"), "me");
}

TEST_F(Dialogs, PluginsPageShowsInformationAndSurvivesAFaultingAbout) {
  std::string dir = testutil::MakeTempDir("prefplugins");
  testutil::CopyTestPlugin("tp_prefs", dir + "prefs");
  testutil::CopyTestPlugin("tp_nomethods", dir + "empty");
  TOVPlugins* saved = Plugins;
  {
    TOVPlugins list;
    list.LoadFromDir(dir);
    ASSERT_EQ(list.Count(), 2);
    Plugins = &list;
    int prefs = list.Items(0)->Description() == "Prefs plugin" ? 0 : 1;
    std::vector<std::string> names, info;
    bool aliveAfterAbout = false;
    TDialogScript s([&](HWND dlg) {
      ShowPage(dlg, 2);
      HWND lv = GetDlgItem(dlg, IDC_LVPLUGINS);
      for (int i = 0; i < 2; ++i) {
        char buf[256] = "";
        LVITEMA item{};
        item.pszText = buf;
        item.cchTextMax = sizeof buf;
        SendMessageA(lv, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        names.push_back(buf);
      }
      Click(dlg, IDC_BABOUT);  // nothing selected: nothing happens
      SelectRow(lv, prefs);
      PostCommand(dlg, IDC_BINFORMATION);
      HWND box = WaitForDialog("Information about plugin", 5000);
      if (box) {
        std::string text = GetText(box, IDC_INFOTEXT);
        size_t pos = 0;
        for (;;) {
          size_t e = text.find("\r\n", pos);
          info.push_back(text.substr(pos, e == std::string::npos ? std::string::npos : e - pos));
          if (e == std::string::npos) break;
          pos = e + 2;
        }
        Click(box, IDOK);
        CloseNested(box, dlg);
      }
      Click(dlg, IDC_BABOUT);
      aliveAfterAbout = IsWindow(dlg) && StillOpen(dlg);
      SelectRow(lv, 1 - prefs);
      Notify(dlg, IDC_LVPLUGINS, static_cast<UINT>(NM_DBLCLK));  // Configure
      Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(ShowPreferences(nullptr));
    EXPECT_TRUE(s.Finished());
    EXPECT_EQ(names[static_cast<size_t>(prefs)], "Prefs plugin");
    EXPECT_EQ(names[static_cast<size_t>(1 - prefs)], "Empty plugin");
    std::vector<std::string> expected{"", "  Description: Prefs plugin", "  Placed: " + list.Items(prefs)->FileName(),
                                      "  --------", "  Actions count: 13"};
    for (const char* m : {"Succeed", "Fail", "Fault", "Divide", "Overflow", "Illegal", "Foreign", "Sleep",
                          "Log lines", "Nothing", "Expand", "Set variable", "Automation off"})
      expected.push_back(std::string("  * method \"") + m + "\"");
    for (const char* l : {"  --------", "  Triggered Events count: 2", "  * event \"Recorder\"", "  * event \"Refuser\""})
      expected.push_back(l);
    EXPECT_EQ(info, expected);
    EXPECT_TRUE(aliveAfterAbout);
    std::vector<std::string> log;
    for (int i = 0; i < MainLog->Count(); ++i) log.push_back(testutil::LogText(MainLog->Strings(i)));
    EXPECT_NE(Find(log, "Failed execute 'About' (" + list.Items(prefs)->FileName() + ")"), -1);
    EXPECT_EQ(g_asked, (std::vector<std::string>{"No configuration needed."}));
    // A plug-in without actions or triggers counts 0 of each.
    std::vector<std::string> empty = PluginInfoLines(list.Items(1 - prefs));
    EXPECT_EQ(empty, (std::vector<std::string>{"", "  Description: Empty plugin",
                                               "  Placed: " + list.Items(1 - prefs)->FileName(), "  --------",
                                               "  Actions count: 0", "  --------", "  Triggered Events count: 0"}));
    list.ShutdownAll();
    Plugins = saved;
  }
  testutil::RemoveTree(dir);
}

// The delivered plug-ins' "..." buttons next to a file list open the picker
// through SelectFiles and take its answer.
TEST_F(Dialogs, DeliveredPluginsFileListButtonsOpenThePicker) {
  InitHostRecord();  // the host's own allocator: the plug-ins free what it gives
  TOVPlugins* saved = Plugins;
  TOVPlugins list;
  Plugins = &list;
  // Copies: a library that fails to load is renamed, and the archive
  // libraries must lie beside the plug-in.
  const std::string dist = std::string(OV_DIST_DIR) + "\\";
  const std::string dir = testutil::MakeTempDir("delivered");
  for (const char* dll : {"zip32.dll", "unzip32.dll"}) CopyFileA((dist + dll).c_str(), (dir + dll).c_str(), FALSE);
  for (const char* name : {"zipper", "ftp"}) {
    SCOPED_TRACE(name);
    std::string path = dir + name + ".ovp";
    CopyFileA((dist + "Plugins\\" + name + "\\" + name + ".ovp").c_str(), path.c_str(), FALSE);
    int32_t id = list.LoadPlugin(path);
    ASSERT_NE(id, 0);
    TOVPlugin* plugin = list.FindByID(id);
    constexpr int kList = 1002, kButton = 1003;
    int shown = -1;
    std::string after;
    TDialogScript s([&](HWND dlg) {
      SetText(dlg, kList, "C:\\first.txt");
      PostCommand(dlg, kButton);
      HWND files = WaitForDialog("Files", 5000);
      if (files) {
        shown = static_cast<int>(SendDlgItemMessageA(files, IDC_RESULT, LB_GETCOUNT, 0, 0));
        PostCommand(files, IDC_BMANADD);
        AnswerInput("Manual add", nullptr, "D:\\second file.zip");
        Click(files, IDOK);
        testutil::WaitFor([&] { return GetText(dlg, kList).find("second") != std::string::npos; }, 5000);
      }
      after = GetText(dlg, kList);
      Click(dlg, IDCANCEL);
    });
    TOVMethodParams params{0, nullptr};
    EXPECT_FALSE(plugin->ConfigMethod(0, &params));
    EXPECT_TRUE(s.Finished());
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(after, "C:\\first.txt\r\nD:\\second file.zip");
  }
  list.ShutdownAll();
  Plugins = saved;
  testutil::RemoveTree(dir);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  g_dir = testutil::MakeTempDir("prefs");
  SetProgramDir(g_dir);
  g_root = "Software\\Orvane tests\\prefs-" + std::to_string(GetCurrentProcessId());
  SetRegistryRoot(g_root);
  CreateAppWindow();
  InitHostRecord();
  LoadSettings();
  MainLog = new TOVLog(nullptr);
  MainLog->AutoSave = false;
  InitVariables();
  LoadCategories();
  int result = RUN_ALL_TESTS();
  FreeVariables();
  delete MainLog;
  MainLog = nullptr;
  RegDeleteTreeA(HKEY_CURRENT_USER, g_root.c_str());
  testutil::RemoveTree(g_dir);
  return result;
}
