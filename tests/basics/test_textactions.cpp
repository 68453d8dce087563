// "Create text file", "Send WinPopup message", "Create File List" and
// "Send Keys" in-process: what a step writes, sends and logs, and what
// their dialogs store.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "BasicsTest.h"
#include "DialogDriver.h"
#include "TestUtil.h"
#include "uFileList.h"
#include "uSendKeys.h"
#include "uWinPopupMessage.h"
#include "uWriteTextFile.h"

using testutil::Click;
using testutil::GetText;
using testutil::SetText;

namespace {

Bytes TextFileBlock(const std::string& name, const std::string& text, int ifExists = -1) {
  return ifExists < 0 ? Cat({Str(name), Str(text)}) : Cat({Str(name), Str(text), Dw(ifExists)});
}

Bytes FileListBlock(const std::string& files, const std::string& target) {
  return Cat({Str(files), Str(""), {1}, Str(target)});
}

class TextActions : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testutil::MakeTempDir("textact");
    Basics();  // loaded before the log is cleared
    ClearMainLog();
  }
  void TearDown() override {
    testutil::RemoveTree(dir_);
    ClearMainLog();
  }
  std::string dir_;
};

bool Configure(int index, Bytes& block, std::function<void(HWND)> script) {
  bool ok;
  {
    testutil::TDialogScript s(script);
    ok = Config(index, block);
  }
  return ok;
}

}  // namespace

TEST_F(TextActions, AppendingStartsOnANewLineAndKeepsWhatTheFileHeld) {
  const std::string missing = dir_ + "new.txt";
  EXPECT_TRUE(Exec(mTextFile, TextFileBlock(missing, "First %Var%", 1)));
  EXPECT_EQ(testutil::ReadFileText(missing), "First <Var>\r\n");

  const std::string open = dir_ + "open.txt";
  testutil::WriteFileText(open, "no final break");
  EXPECT_TRUE(Exec(mTextFile, TextFileBlock(open, "one\r\ntwo", 1)));
  EXPECT_EQ(testutil::ReadFileText(open), "no final break\r\none\r\ntwo\r\n");

  const std::string unix = dir_ + "unix.txt";
  testutil::WriteFileText(unix, "a\nb\n");
  EXPECT_TRUE(Exec(mTextFile, TextFileBlock(unix, "c", 1)));
  EXPECT_EQ(testutil::ReadFileText(unix), "a\nb\nc\r\n");
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>());
}

TEST_F(TextActions, OverwritingReplacesTheFileAndFailuresAreLogged) {
  const std::string file = dir_ + "over.txt";
  testutil::WriteFileText(file, "a much longer old text that must go entirely");
  EXPECT_TRUE(Exec(mTextFile, TextFileBlock(file, "new\r\n", 0)));
  EXPECT_EQ(testutil::ReadFileText(file), "new\r\n");
  // A block without the tail overwrites.
  EXPECT_TRUE(Exec(mTextFile, TextFileBlock(file, "newer")));
  EXPECT_EQ(testutil::ReadFileText(file), "newer\r\n");
  EXPECT_EQ(testutil::ListFiles(dir_, "*.*").size(), 1u);
  EXPECT_TRUE(MainLogTexts().empty());

  for (int mode : {0, 1}) {
    ClearMainLog();
    const std::string bad = dir_ + "missing\\x.txt";
    EXPECT_FALSE(Exec(mTextFile, TextFileBlock(bad, "x", mode)));
    EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"Error writing " + bad});
  }
  // A read-only file is neither replaced nor lost.
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(Exec(mTextFile, TextFileBlock(file, "x", 0)));
  EXPECT_EQ(testutil::ReadFileText(file), "newer\r\n");
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Descr(mTextFile, TextFileBlock("%TempDir%\\a.txt", "x", 1)), "Create text file %TempDir%\\a.txt");
  EXPECT_EQ(Descr(mTextFile, {}), "Create text file ");
}

TEST_F(TextActions, WinPopupWritesSenderRecipientAndTextToTheMessengerSlot) {
  HANDLE slot = CreateMailslotA("\\\\.\\mailslot\\messngr", 0, 0, nullptr);
  ASSERT_NE(slot, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Exec(mWinPopup, Cat({Str("."), Str("Hello %User%!")})));
  char own[MAX_COMPUTERNAME_LENGTH + 1] = "";
  DWORD size = sizeof own;
  GetComputerNameA(own, &size);
  std::string expected = std::string(own) + '\0' + "." + '\0' + "Hello <User>!";
  char buffer[1024];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(slot, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), expected);

  // Names that would make the path a file or folder of this computer.
  for (const char* name : {"..\\..\\temp\\x", "C:", "a/b", ".."}) {
    ClearMainLog();
    EXPECT_TRUE(Exec(mWinPopup, Cat({Str(name), Str("x")}))) << name;
    EXPECT_EQ(MainLogTexts(), std::vector<std::string>{std::string("\"") + name + "\" is not a computer name: no message sent"});
  }
  DWORD next = 0, count = 0;
  GetMailslotInfo(slot, nullptr, &next, &count, nullptr);
  EXPECT_EQ(count, 0u);
  CloseHandle(slot);
  // Nobody listening: the step still succeeds, silently.
  ClearMainLog();
  EXPECT_TRUE(Exec(mWinPopup, Cat({Str("."), Str("lost")})));
  EXPECT_TRUE(MainLogTexts().empty());
  EXPECT_EQ(Descr(mWinPopup, Cat({Str("%ComputerName%"), Str("x")})), "Send message to %ComputerName%");
  EXPECT_EQ(Descr(mWinPopup, {}), "Send WinPopup message");
}

TEST_F(TextActions, AFileListStepWritesItsListAndRefusesWhatItCannotDoSafely) {
  testutil::WriteFileText(dir_ + "b.txt", "x");
  testutil::WriteFileText(dir_ + "a.txt", "x");
  const std::string list = dir_ + "list.txt";
  EXPECT_TRUE(Exec(mFileList, FileListBlock(dir_ + "*.txt\r\n" + dir_ + "a.*", list)));
  EXPECT_EQ(testutil::ReadFileText(list), dir_ + "a.txt\r\n" + dir_ + "b.txt\r\n");
  EXPECT_TRUE(MainLogTexts().empty());

  EXPECT_FALSE(Exec(mFileList, FileListBlock(dir_ + "*.txt", "list.txt")));
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"Cannot save the file list to \"list.txt\": not a full path"});
  ClearMainLog();
  EXPECT_FALSE(Exec(mFileList, FileListBlock("*.txt", list)));
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"\"*.txt\" is not a full path: not searched"});
  ClearMainLog();
  EXPECT_FALSE(Exec(mFileList, FileListBlock(dir_ + "*.txt", dir_ + "no\\list.txt")));
  auto log = MainLogTexts();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("Cannot save the file list to \"" + dir_ + "no\\list.txt\": ", 0), 0u) << log[0];
  EXPECT_EQ(Descr(mFileList, FileListBlock("x", "%TempDir%\\l.txt")), "Create File List (%TempDir%\\l.txt)");
}

TEST_F(TextActions, SendKeysFailsWithALineWhenNoWindowMatches) {
  EXPECT_FALSE(Exec(mSendKeys, Cat({Str("No %Such% window here"), {1}, Str("abc")})));
  EXPECT_EQ(MainLogTexts(),
            std::vector<std::string>{"No window found with \"No <Such> window here\" in its title: no keys sent"});
  EXPECT_EQ(Descr(mSendKeys, {}), "Send keys to \"Notepad\"");
  EXPECT_EQ(Descr(mSendKeys, Cat({Str(""), {0}, Str("x")})), "Send Keys");
}

// ------------------------------------------------------------ dialogs

TEST(TextActionDialogs, SendKeysOpensWithTheDefaultsAndInsertsKeysDelaysAndCombinations) {
  Bytes block;
  std::string caption, keys;
  bool fixed = false;
  EXPECT_TRUE(Configure(mSendKeys, block, [&](HWND dlg) {
    caption = GetText(dlg, IDC_eWinCaption);
    keys = GetText(dlg, IDC_mKeys);
    fixed = IsDlgButtonChecked(dlg, IDC_cbFixedWindow) == BST_CHECKED;
    SetText(dlg, IDC_mKeys, "ab");
    SendDlgItemMessageA(dlg, IDC_mKeys, EM_SETSEL, 1, 1);
    SendMessageA(dlg, WM_COMMAND, IDM_KEYNAME_FIRST + 27, 0);  // TAB
    PostMessageA(dlg, WM_COMMAND, IDM_INSERTDELAY, 0);
    HWND delay = testutil::WaitForDialog("Insert delay", 5000);
    SetText(delay, IDC_eKeyDelay, "2500");
    Click(delay, IDOK);
    testutil::WaitFor([&] { return !IsWindow(delay); }, 5000);
    PostMessageA(dlg, WM_COMMAND, IDM_KEYCOMBINATION, 0);
    HWND combin = testutil::WaitForDialog("Key Combination", 5000);
    SendDlgItemMessageA(combin, IDC_hkKeyCombin, HKM_SETHOTKEY, MAKEWORD(VK_F5, HOTKEYF_CONTROL | HOTKEYF_SHIFT), 0);
    Click(combin, IDOK);
    testutil::WaitFor([&] { return !IsWindow(combin); }, 5000);
    // Emptying the caption unchecks the fixed window.
    SetText(dlg, IDC_eWinCaption, "");
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_eWinCaption, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDC_eWinCaption)));
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(caption, "Notepad");
  EXPECT_EQ(keys, "Hello, World! :{)}");
  EXPECT_TRUE(fixed);
  EXPECT_EQ(block, Cat({Str(""), {0}, Str("a{TAB}{DELAY 2500}^(+({F5}))b")}));
}

TEST(TextActionDialogs, TextFileAndWinPopupRefuseEmptyFieldsAndStoreTheirBlocks) {
  // An OK that closed the dialog would leave the empty fields in the block.
  Bytes block;
  EXPECT_TRUE(Configure(mTextFile, block, [&](HWND dlg) {
    Click(dlg, IDOK);
    SetText(dlg, IDC_eFileName, "C:\\out.txt");
    SetText(dlg, IDC_mContentsTextFile, "l1\r\nl2");
    CheckRadioButton(dlg, IDC_rbOverwrite, IDC_rbAppend, IDC_rbAppend);
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(block, TextFileBlock("C:\\out.txt", "l1\r\nl2", 1));

  block.clear();
  std::string computer, text;
  EXPECT_TRUE(Configure(mWinPopup, block, [&](HWND dlg) {
    computer = GetText(dlg, IDC_eCompName);
    text = GetText(dlg, IDC_eMessage);
    SetText(dlg, IDC_eMessage, "");
    Click(dlg, IDOK);
    SetText(dlg, IDC_eMessage, "Backup done");
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, computer.c_str(), -1, "%ComputerName%", -1),
            CSTR_EQUAL);
  EXPECT_EQ(text, "Hello!");
  EXPECT_EQ(block, Cat({Str(computer), Str("Backup done")}));
}

TEST(TextActionDialogs, FileListStoresFilterAndDecorations) {
  Bytes block;
  std::string files;
  bool subDirs = false, all = false;
  EXPECT_TRUE(Configure(mFileList, block, [&](HWND dlg) {
    char first[MAX_PATH] = "";
    SendDlgItemMessageA(dlg, IDC_lbFiles, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
    files = first;
    subDirs = IsDlgButtonChecked(dlg, IDC_cbSubDirs) == BST_CHECKED;
    all = IsDlgButtonChecked(dlg, IDC_rbAllFiles) == BST_CHECKED;
    // An empty target keeps the dialog open.
    Click(dlg, IDOK);
    SetText(dlg, IDC_eDestFile, "C:\\list.txt");
    SetText(dlg, IDC_eExcMask, "*.tmp");
    Click(dlg, IDC_rbKind3);
    SetText(dlg, IDC_eKind3, "7");
    CheckDlgButton(dlg, IDC_cbBeforeLine, BST_CHECKED);
    Click(dlg, IDC_cbBeforeLine);
    SetText(dlg, IDC_eBeforeLine, "copy ");
    CheckDlgButton(dlg, IDC_cbWithoutPath, BST_CHECKED);
    Click(dlg, IDOK);
  }));
  char windows[MAX_PATH] = "";
  GetWindowsDirectoryA(windows, sizeof windows);
  EXPECT_EQ(files, std::string(windows) + "\\*.bak");
  EXPECT_TRUE(subDirs);
  EXPECT_TRUE(all);
  Bytes expected = Cat({Str(files), Str("*.tmp"), {1}, Str("C:\\list.txt"), {0}, Dw(3), Dw(7), {1, 0, 0, 1, 0},
                        Str(""), Str(""), Str("copy "), Str("")});
  EXPECT_EQ(block, expected);
}
