// A command line over zip32.dll and unzip32.dll for the interoperability
// tests, which drive it beside the common zip tools:
//   ziptool zip <archive> <root> <flags> <level> <comment|-> <pattern>...
//     flags: r recurse, j junk paths, h system and hidden, e extended
//     timestamp, d 8.3 names, m move, u update, f freshen ("-" for none);
//     ZIPTOOL_LOCK=<path> holds that file open without sharing meanwhile
//   ziptool unzip <archive> <dest> <flags>
//     flags: o overwrite, n only newer, p folder names, F freshen
// Prints the libraries' lines and exits with their result code.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "unzip32.h"
#include "zip32.h"

namespace {

std::string g_comment;

int ZIPAPI Print(char* text, unsigned long length) {
  fwrite(text, 1, length, stdout);
  return static_cast<int>(length);
}
char* ZIPAPI Comment(char*) { return g_comment.data(); }
int ZIPAPI Password(char*, int, const char*, const char*) { return 1; }
int UNZAPI Replace(char*) { return 1; }
void UNZAPI Message(unsigned long, unsigned long, unsigned, unsigned, unsigned, unsigned, unsigned, unsigned, char,
                    const char*, const char*, unsigned long, char) {}
int UNZAPI Service(const char*, unsigned long) { return 0; }

bool Has(const char* flags, char c) { return strchr(flags, c) != nullptr; }

int Zip(int argc, char** argv) {
  if (argc < 7) return 16;
  const char* flags = argv[4];
  TZipOptions o{};
  o.Recurse = Has(flags, 'r') ? -1 : 0;
  o.JunkPaths = Has(flags, 'j') ? -1 : 0;
  o.SystemHidden = Has(flags, 'h') ? -1 : 0;
  o.ExtraInfo = Has(flags, 'e') ? -1 : 0;
  o.DosNames = Has(flags, 'd') ? -1 : 0;
  o.Move = Has(flags, 'm') ? -1 : 0;
  o.Update = Has(flags, 'u') ? -1 : 0;
  o.Freshen = Has(flags, 'f') ? -1 : 0;
  o.Level = argv[5][0];
  if (strcmp(argv[6], "-") != 0) {
    o.Comment = -1;
    g_comment = argv[6];
  }
  lstrcpynA(o.RootDir, argv[3], sizeof o.RootDir);
  if (!ZpSetOptions(o)) return 255;
  TZipUserFunctions f{Print, Comment, Password};
  ZpInit(&f);
  // A file held open without sharing, as another program may hold it.
  HANDLE locked = INVALID_HANDLE_VALUE;
  if (const char* path = getenv("ZIPTOOL_LOCK"))
    locked = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  int rc = ZpArchive(argc - 7, argv[2], argv + 7);
  if (locked != INVALID_HANDLE_VALUE) CloseHandle(locked);
  return rc;
}

int Unzip(int argc, char** argv) {
  if (argc < 5) return 10;
  const char* flags = argv[4];
  TUnzipOptions o{};
  o.Overwrite = Has(flags, 'o');
  o.OnlyNewer = Has(flags, 'n');
  o.UseFolderNames = Has(flags, 'p');
  o.Freshen = Has(flags, 'F');
  o.Quiet = 2;
  o.IgnoreCase = 1;
  o.ZipFile = argv[2];
  o.ExtractDir = argv[3];
  TUnzipUserFunctions f{Print, nullptr, Replace, Password, Message, Service};
  return Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &o, &f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && !strcmp(argv[1], "zip")) return Zip(argc, argv);
  if (argc >= 2 && !strcmp(argv[1], "unzip")) return Unzip(argc, argv);
  fprintf(stderr, "usage: ziptool zip|unzip ...\n");
  return 2;
}
