// "Send Keys", "Create File List" and "Create text file" figures:
//  - 1,000 characters typed into a window with waiting on (target: 3 s,
//    none lost);
//  - a list of N files (default 100,000) against a bare listing of the
//    same folder (target: at most 1 s beyond the listing);
//  - 1 KB appended to a 50 MB file (target: 20 ms).
// Usage: bench_textkeys [files]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FileList.h"
#include "FileUtil.h"
#include "SendKeys.h"
#include "TestUtil.h"
#include "uWriteTextFile.h"

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

LRESULT CALLBACK TargetProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CREATE)
    CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL, 0, 0, 300, 200, wnd, reinterpret_cast<HMENU>(1),
                  nullptr, nullptr);
  if (msg == WM_SETFOCUS) SetFocus(GetDlgItem(wnd, 1));
  return DefWindowProcA(wnd, msg, wp, lp);
}

void Typing() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = TargetProc;
  wc.lpszClassName = "BenchKeysTarget";
  RegisterClassA(&wc);
  HWND wnd = CreateWindowA("BenchKeysTarget", "Bench typing target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320,
                           240, nullptr, nullptr, nullptr, nullptr);
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "abcdefghijklmnopqrstuvwxyz0123456789 ,.ABC"[i % 42];
  auto start = std::chrono::steady_clock::now();
  TKeySender sender("Bench typing target", true, false, true, [](const std::string&) {});
  bool ok = sender.Send(ParseKeys(text));
  double ms = Ms(start);
  char typed[4096] = "";
  GetWindowTextA(GetDlgItem(wnd, 1), typed, sizeof typed);
  size_t same = 0;
  while (same < text.size() && typed[same] == text[same]) ++same;
  std::printf("typing: 1000 characters in %.0f ms (target 3000), %zu arrived in order, result %s\n", ms, same,
              ok ? "true" : "false");
  DestroyWindow(wnd);
}

void FileListing(int files) {
  std::string dir = testutil::MakeTempDir("benchlist");
  for (int i = 0; i < files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%06d.txt", i);
    HANDLE h = CreateFileA((dir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(h);
  }
  auto start = std::chrono::steady_clock::now();
  std::vector<TFoundFile> bare;
  ListFolder(dir, 0, bare);
  double listing = Ms(start);
  start = std::chrono::steady_clock::now();
  TFileListSettings s;
  s.BeforeLine = true;
  s.LinePrefix = "copy ";
  auto found = SearchFileList({dir + "*.txt"}, {}, false, TDateFilter(), OVNow(), dir + "list.out", nullptr);
  auto lines = DecorateFileList(found, s);
  std::string text;
  for (const auto& l : lines) text += l + "\r\n";
  testutil::WriteFileText(dir + "list.out", text);
  double list = Ms(start);
  std::printf("file list: %zu of %d files in %.0f ms; bare listing %.0f ms; beyond the listing %.0f ms (target 1000)\n",
              found.size(), files, list, listing, list - listing);
  testutil::RemoveTree(dir);
}

void Appending() {
  std::string dir = testutil::MakeTempDir("benchappend");
  std::string file = dir + "big.txt";
  std::string chunk(1 << 20, 'x');
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written;
  for (int i = 0; i < 50; ++i) WriteFile(h, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr);
  CloseHandle(h);
  std::string kb(1022, 'y');
  kb += "\r\n";
  double best = 1e9, total = 0;
  for (int i = 0; i < 10; ++i) {
    auto start = std::chrono::steady_clock::now();
    AppendTextToFile(file, kb);
    double ms = Ms(start);
    total += ms;
    if (ms < best) best = ms;
  }
  std::printf("append: 1 KB to a 50 MB file in %.2f ms on average, %.2f ms at best (target 20)\n", total / 10, best);
  testutil::RemoveTree(dir);
}

}  // namespace

int main(int argc, char** argv) {
  Typing();
  FileListing(argc > 1 ? std::atoi(argv[1]) : 100000);
  Appending();
  return 0;
}
