// The file actions against plain CopyFile / DeleteFile loops and a bare
// FindFirstFile walk, in the same process on the same folders. Prints the
// figures and the ratios (ours / plain). Usage: bench_fileops [scale],
// scale 1 (default) = one 256 MB file, 2,000 files of 4 KB, 10,000 files
// to delete and to synchronise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "FileOp.h"
#include "TestUtil.h"

namespace {

double Seconds(const std::function<void()>& fn) {
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  fn();
  QueryPerformanceCounter(&b);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

void MakeFiles(const std::string& dir, int count, size_t size) {
  testutil::MakeDirs(dir);
  std::vector<uint8_t> data(size, 'x');
  for (int i = 0; i < count; ++i) testutil::WriteFileBytes(dir + "f" + std::to_string(i) + ".dat", data);
}

// The plain baseline: CopyFile for every file of a folder.
void PlainCopy(const std::string& from, const std::string& to) {
  CreateDirectoryA(to.c_str(), nullptr);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((from + "*.*").c_str(), &fd);
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      CopyFileA((from + fd.cFileName).c_str(), (to + fd.cFileName).c_str(), FALSE);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

void PlainDelete(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "*.*").c_str(), &fd);
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA((dir + fd.cFileName).c_str());
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

int Enumerate(const std::string& dir) {
  int n = 0;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "*.*").c_str(), &fd);
  do ++n;
  while (FindNextFileA(h, &fd));
  FindClose(h);
  return n;
}

double OurCopy(const std::string& from, const std::string& to) {
  TFileOperator op;
  op.Source = {from + "*.*"};
  op.Destination = {to};
  op.Options = flNoConfirmation | flFilesOnly;
  return Seconds([&] { op.Execute(); });
}

void Report(const char* what, double plain, double ours) {
  std::printf("%-44s plain %8.3f s  ours %8.3f s  ratio %.2f\n", what, plain, ours, ours / plain);
}

}  // namespace

int main(int argc, char** argv) {
  double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
  const std::string dir = testutil::MakeTempDir("benchfileops");

  // One large file.
  MakeFiles(dir + "big\\", 1, static_cast<size_t>(256.0 * 1024 * 1024 * scale));
  double plain = 1e9, ours = 1e9;
  for (int round = 0; round < 2; ++round) {
    testutil::RemoveTree(dir + "big1\\");
    testutil::RemoveTree(dir + "big2\\");
    plain = std::min(plain, Seconds([&] { PlainCopy(dir + "big\\", dir + "big1\\"); }));
    ours = std::min(ours, OurCopy(dir + "big\\", dir + "big2\\"));
  }
  Report("copy one 256 MB file", plain, ours);
  testutil::RemoveTree(dir + "big\\");
  testutil::RemoveTree(dir + "big1\\");
  testutil::RemoveTree(dir + "big2\\");

  // Many small files.
  const int small = static_cast<int>(2000 * scale);
  MakeFiles(dir + "small\\", small, 4096);
  plain = ours = 1e9;
  for (int round = 0; round < 2; ++round) {
    testutil::RemoveTree(dir + "s1\\");
    testutil::RemoveTree(dir + "s2\\");
    plain = std::min(plain, Seconds([&] { PlainCopy(dir + "small\\", dir + "s1\\"); }));
    ours = std::min(ours, OurCopy(dir + "small\\", dir + "s2\\"));
  }
  Report("copy 2,000 files of 4 KB", plain, ours);

  // Delete and synchronise 10,000 files.
  const int many = static_cast<int>(10000 * scale);
  testutil::RemoveTree(dir + "small\\");
  MakeFiles(dir + "many\\", many, 1024);
  PlainCopy(dir + "many\\", dir + "d1\\");
  PlainCopy(dir + "many\\", dir + "d2\\");
  plain = Seconds([&] { PlainDelete(dir + "d1\\"); });
  TDeleteWalk walk;
  walk.ToRecycleBin = false;
  ours = Seconds([&] { walk.Run(dir + "d2\\", "*.*"); });
  Report("delete 10,000 files", plain, ours);

  plain = Seconds([&] { PlainCopy(dir + "many\\", dir + "p\\"); });
  TSyncSettings s;
  s.Folder1 = dir + "many";
  s.Folder2 = dir + "sync";
  s.Direction = 1;
  ours = Seconds([&] { TSynchronizer(s).Run(); });
  Report("synchronise 10,000 files, first time", plain, ours);
  plain = Seconds([&] {
    Enumerate(dir + "many\\");
    Enumerate(dir + "sync\\");
  });
  ours = Seconds([&] { TSynchronizer(s).Run(); });
  Report("synchronise 10,000 files, nothing to do", plain, ours);
  s.Direction = 0;
  ours = Seconds([&] { TSynchronizer(s).Run(); });
  Report("  the same both ways (enumeration once)", plain, ours);
  testutil::RemoveTree(dir);
  return 0;
}
