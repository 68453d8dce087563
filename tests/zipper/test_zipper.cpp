// The archive plug-in's records as the libraries read them (byte offsets,
// not field names), its texts and level mapping, and the archive turn.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "UnZip32.h"
#include "Zip32.h"

namespace {

int32_t DwordAt(const void* record, size_t offset) {
  int32_t v;
  memcpy(&v, static_cast<const char*>(record) + offset, 4);
  return v;
}

}  // namespace

TEST(ZipperRecords, OptionsRecordCarriesEachSettingAtItsOffsetAndNothingElse) {
  const size_t flagOffsets[] = {8, 16, 48, 52, 60};
  for (int flag = 0; flag < 5; ++flag) {
    for (uint8_t action = 0; action < 4; ++action) {
      TZipSettings s;
      s.IncSysAndHidden = flag == 0;
      s.SaveExtra = flag == 1;
      s.JunkDirNames = flag == 2;
      s.IncludeSubDirs = flag == 3;
      s.DosFormat = flag == 4;
      s.Level = action;
      TZipOptions o;
      memset(&o, 0xAA, sizeof o);
      ASSERT_TRUE(BuildZipOptions(s, action, "C:\\data", o));
      const auto* b = reinterpret_cast<const uint8_t*>(&o);
      std::vector<bool> expected(sizeof o, false);
      auto expectDword = [&](size_t off, int32_t v) {
        EXPECT_EQ(DwordAt(&o, off), v) << "offset " << off;
        for (size_t i = 0; i < 4; ++i) expected[off + i] = true;
      };
      expectDword(flagOffsets[flag], -1);
      if (action == zaMove) expectDword(64, -1);
      if (action == zaUpdate) expectDword(72, -1);
      if (action == zaFreshen) expectDword(76, -1);
      expectDword(88, -1);
      EXPECT_EQ(b[108], static_cast<uint8_t>("9642"[action]));
      expected[108] = true;
      EXPECT_STREQ(reinterpret_cast<const char*>(b + 118), "C:\\data");
      for (size_t i = 118; i < 118 + 8; ++i) expected[i] = true;
      for (size_t i = 0; i < sizeof o; ++i) {
        if (!expected[i]) {
          EXPECT_EQ(b[i], 0) << "byte " << i << " flag " << flag << " action " << int(action);
        }
      }
    }
  }
}

TEST(ZipperRecords, RootFolderLongerThanItsFieldIsRefusedUntouched) {
  struct {
    TZipOptions o;
    char guard[16];
  } r;
  memset(&r, 0x5A, sizeof r);
  TZipSettings s;
  EXPECT_TRUE(BuildZipOptions(s, zaAdd, std::string(129, 'r'), r.o));
  EXPECT_EQ(r.o.RootDir[129], 0);
  memset(&r, 0x5A, sizeof r);
  EXPECT_FALSE(BuildZipOptions(s, zaAdd, std::string(130, 'r'), r.o));
  for (size_t i = 0; i < sizeof r; ++i) ASSERT_EQ(reinterpret_cast<uint8_t*>(&r)[i], 0x5A) << i;
}

TEST(ZipperRecords, ExtractionRecordAndTheFlagsItNeverSets) {
  for (int bits = 0; bits < 8; ++bits) {
    TUnzipSettings s;
    s.Overwrite = bits & 1;
    s.SkipOlder = bits & 2;
    s.UseFolderNames = bits & 4;
    std::string zip = "a.zip", dest = "d";
    TUnzipOptions o;
    BuildUnzipOptions(s, zip, dest, o);
    EXPECT_EQ(DwordAt(&o, 0), s.SkipOlder ? 1 : 0);
    EXPECT_EQ(DwordAt(&o, 12), 2);
    // Freshen stays off: a run into an empty folder must extract.
    EXPECT_EQ(DwordAt(&o, 28), 0);
    EXPECT_EQ(DwordAt(&o, 36), s.UseFolderNames ? 1 : 0);
    EXPECT_EQ(DwordAt(&o, 40), s.Overwrite ? 1 : 0);
    EXPECT_EQ(DwordAt(&o, 56), 1);
    for (size_t off : {4, 8, 16, 20, 24, 32, 44, 48, 52}) EXPECT_EQ(DwordAt(&o, off), 0) << off;
    EXPECT_EQ(o.ZipFile, zip.c_str());
    EXPECT_EQ(o.ExtractDir, dest.c_str());
  }
}

TEST(ZipperTexts, ResultTextsLevelsAndRootFolders) {
  EXPECT_EQ(ZipResultText(0), "No errors or warnings detected.");
  EXPECT_EQ(ZipResultText(12), "Nothing to do!");
  EXPECT_EQ(ZipResultText(18), "File not found or no read permission.");
  EXPECT_EQ(ZipResultText(17), "Unknown error #17");
  EXPECT_EQ(ZipResultText(-1), "Unknown error #-1");
  EXPECT_EQ(ZipResultText(255), "Unknown error #255");
  EXPECT_EQ(std::string({LevelChar(0), LevelChar(1), LevelChar(2), LevelChar(3), LevelChar(4)}), "96420");
  EXPECT_EQ(ArchiveRoot("C:\\data\\x.zip"), "C:\\data");
  EXPECT_EQ(ArchiveRoot("C:\\x.zip"), "C:\\");
  EXPECT_EQ(ArchiveRoot("\\x.zip"), "\\");
  EXPECT_EQ(ArchiveRoot("x.zip"), "");
}

namespace {

DWORD WINAPI TakeTurnAndVanish(void*) {
  new TArchiveTurn;  // never given back, as by a job killed mid-archive
  return 0;
}

struct TTaker {
  HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

DWORD WINAPI HoldTurn(void* p) {
  auto* t = static_cast<TTaker*>(p);
  TArchiveTurn turn;
  SetEvent(t->held);
  WaitForSingleObject(t->release, INFINITE);
  return 0;
}

DWORD WINAPI TakeTurn(void*) {
  TArchiveTurn turn;
  return 0;
}

}  // namespace

TEST(ZipperTurn, OneAtATimeAndAVanishedHolderDoesNotBlockForEver) {
  TTaker t;
  HANDLE holder = CreateThread(nullptr, 0, HoldTurn, &t, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(t.held, 5000), WAIT_OBJECT_0);
  HANDLE waiter = CreateThread(nullptr, 0, TakeTurn, nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(waiter, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(t.release);
  EXPECT_EQ(WaitForSingleObject(waiter, 5000), WAIT_OBJECT_0);

  HANDLE vanished = CreateThread(nullptr, 0, TakeTurnAndVanish, nullptr, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(vanished, 5000), WAIT_OBJECT_0);
  HANDLE next = CreateThread(nullptr, 0, TakeTurn, nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(next, 5000), WAIT_OBJECT_0);
  for (HANDLE h : {holder, waiter, vanished, next, t.held, t.release}) CloseHandle(h);
}
