// The archive plug-in's dialogs, driven in-process with a host record of
// the test's own: OK's checks, the blocks they write, Cancel.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "OVPlugin.h"
#include "TestUtil.h"
#include "uUnzip.h"
#include "uZip.h"

using testutil::Click;
using testutil::SetText;
using testutil::TDialogScript;

namespace {

void OVAPI Alloc(void** p, int32_t size) { *p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size_t(size)); }
void OVAPI Free(void** p, int32_t) {
  HeapFree(GetProcessHeap(), 0, *p);
  *p = nullptr;
}

class ZipperDialogs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static THostRecord host{};
    host.Version = OV_HOST_VERSION;
    host.Alloc = Alloc;
    host.Free = Free;
    record_ = InitOVPlugin(&host);
  }
  static void TearDownTestSuite() {
    if (record_ && record_->ShutdownPlugin) record_->ShutdownPlugin();
  }
  void TearDown() override {
    if (params_.Data) Free(&params_.Data, params_.Size);
  }
  std::vector<uint8_t> Block() const {
    auto* p = static_cast<const uint8_t*>(params_.Data);
    return std::vector<uint8_t>(p, p + params_.Size);
  }
  static TPluginRecord* record_;
  TOVMethodParams params_{0, nullptr};
};
TPluginRecord* ZipperDialogs::record_ = nullptr;

HWND FocusOf(HWND dlg) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &info);
  return info.hwndFocus;
}

std::vector<uint8_t> Str(const std::string& s) {
  std::vector<uint8_t> b;
  uint32_t n = uint32_t(s.size() + 1);
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(n >> (8 * i)));
  for (char c : s) b.push_back(uint8_t(c));
  b.push_back(0);
  return b;
}

}  // namespace

TEST_F(ZipperDialogs, ZipOkWantsFilesAndADestinationThenWritesTheBlock) {
  ASSERT_NE(record_, nullptr);
  bool stayedForFiles = false, stayedForDest = false;
  TDialogScript script([&](HWND dlg) {
    Click(dlg, IDOK);
    stayedForFiles = IsWindow(dlg) && FocusOf(dlg) == GetDlgItem(dlg, IDC_lbFiles);
    SetText(dlg, IDC_lbFiles, "C:\\data\\*.*\r\nreport.txt");
    Click(dlg, IDOK);
    stayedForDest = IsWindow(dlg) && FocusOf(dlg) == GetDlgItem(dlg, IDC_eDestFile);
    SetText(dlg, IDC_eDestFile, "C:\\out.zip");
    SendDlgItemMessageA(dlg, IDC_cbAction, CB_SETCURSEL, 3, 0);
    SendDlgItemMessageA(dlg, IDC_cbCompressLevel, CB_SETCURSEL, 4, 0);
    SendDlgItemMessageA(dlg, IDC_cbIncludeSubDirs, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(dlg, IDC_cbJunkDirNames, BM_SETCHECK, BST_CHECKED, 0);
    Click(dlg, IDOK);
  });
  EXPECT_TRUE(ZipCase().Config(params_));
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(script.Caption(), "Zip");
  EXPECT_TRUE(stayedForFiles);
  EXPECT_TRUE(stayedForDest);
  std::vector<uint8_t> expected;
  for (const std::string& s : {std::string("C:\\data\\*.*\r\nreport.txt"), std::string("C:\\out.zip"),
                               TZipSettings().Comment}) {
    auto b = Str(s);
    expected.insert(expected.end(), b.begin(), b.end());
  }
  expected.insert(expected.end(), {3, 4, 0, 1, 0, 0, 1});
  EXPECT_EQ(Block(), expected);

  // The dialog opens on the stored block; Cancel leaves it as it was.
  bool shown = false;
  TDialogScript cancel([&](HWND dlg) {
    shown = testutil::GetText(dlg, IDC_eDestFile) == "C:\\out.zip" &&
            SendDlgItemMessageA(dlg, IDC_cbAction, CB_GETCURSEL, 0, 0) == 3 &&
            SendDlgItemMessageA(dlg, IDC_cbJunkDirNames, BM_GETCHECK, 0, 0) == BST_CHECKED;
    Click(dlg, IDCANCEL);
  });
  EXPECT_FALSE(ZipCase().Config(params_));
  EXPECT_TRUE(shown);
  EXPECT_EQ(Block(), expected);
}

TEST_F(ZipperDialogs, UnzipOkWritesItsBlockFromTheDefaults) {
  bool defaults = false;
  TDialogScript script([&](HWND dlg) {
    defaults = SendDlgItemMessageA(dlg, IDC_cbUseFolderNames, BM_GETCHECK, 0, 0) == BST_CHECKED &&
               SendDlgItemMessageA(dlg, IDC_cbOverwrite, BM_GETCHECK, 0, 0) == BST_UNCHECKED;
    SetText(dlg, IDC_eFileToUnzip, "%TempDir%a.zip");
    SendDlgItemMessageA(dlg, IDC_cbSkipOlder, BM_SETCHECK, BST_CHECKED, 0);
    Click(dlg, IDOK);
  });
  EXPECT_TRUE(UnzipCase().Config(params_));
  EXPECT_EQ(script.Caption(), "Unzip file");
  EXPECT_TRUE(defaults);
  std::vector<uint8_t> expected = Str("%TempDir%a.zip");
  auto dest = Str("");
  expected.insert(expected.end(), dest.begin(), dest.end());
  expected.insert(expected.end(), {0, 1, 1});
  EXPECT_EQ(Block(), expected);
}

namespace {
struct TOwned {
  HWND owner;
  HWND found;
};
BOOL CALLBACK FindOwnedDialog(HWND w, LPARAM p) {
  auto* o = reinterpret_cast<TOwned*>(p);
  char cls[16] = "";
  GetClassNameA(w, cls, sizeof cls);
  if (GetWindow(w, GW_OWNER) != o->owner || strcmp(cls, "#32770") != 0 || !IsWindowVisible(w)) return TRUE;
  o->found = w;
  return FALSE;
}
}  // namespace

// The folder button opens the system's browser at the folder already typed,
// and OK there puts the chosen folder into the field.
TEST_F(ZipperDialogs, TheFolderBrowserStartsAtTheTypedFolderAndFillsTheField) {
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  const std::string leaf = "ov-browse-" + std::to_string(GetCurrentProcessId());
  const std::string dir = std::string(temp) + leaf;
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string title, chosen;
  bool reached = false;
  TDialogScript script([&](HWND dlg) {
    SetText(dlg, IDC_eDestDir, dir + "\\");
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_bSelectDir, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDC_bSelectDir)));
    TOwned o{dlg, nullptr};
    testutil::WaitFor([&] { EnumThreadWindows(GetWindowThreadProcessId(dlg, nullptr), FindOwnedDialog,
                                              reinterpret_cast<LPARAM>(&o));
                            return o.found != nullptr; }, 10000);
    if (o.found) {
      title = testutil::StaticTexts(o.found);
      // The browser walks to the start folder after it shows. Wine's walk
      // now and then stops at a folder above it.
      HWND tree = FindWindowExA(o.found, nullptr, "SysTreeView32", nullptr);
      reached = testutil::WaitFor([&] {
        auto sel = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
        return sel && testutil::TreeItemText(tree, sel) == leaf;
      }, 3000);
      PostMessageA(o.found, WM_COMMAND, IDOK, 0);
      testutil::WaitFor([&] { return !IsWindow(o.found); }, 10000);
    }
    chosen = testutil::GetText(dlg, IDC_eDestDir);
    Click(dlg, IDCANCEL);
  });
  EXPECT_FALSE(UnzipCase().Config(params_));
  RemoveDirectoryA(dir.c_str());
  EXPECT_NE(title.find("Select folder:"), std::string::npos) << title;
  if (reached) {
    EXPECT_EQ(lstrcmpiA(chosen.c_str(), dir.c_str()), 0) << chosen << " / " << dir;
  } else {
    EXPECT_GT(chosen.size(), 3u);
    EXPECT_EQ(lstrcmpiA(chosen.c_str(), dir.substr(0, chosen.size()).c_str()), 0) << chosen << " / " << dir;
  }
}
