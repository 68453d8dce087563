// unzip32.dll: extracts zip archives for the archive plug-in. Re-entrant:
// every call keeps its state to itself, so several jobs may extract at
// once.
//
// No entry is ever written outside the destination folder: a drive, a
// leading slash or backslash and ".." components are stripped (with a
// warning); names with a stream colon, a device name (CON, NUL, COM1 ...)
// or characters Windows forbids, link entries and encrypted entries are
// not extracted (with an error line). Each file is written to a temporary
// file beside its place and takes that place only when its CRC matched.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define UNZAPI __stdcall

/* Diagnostic lines, each ending in a line feed; returns Length. */
typedef int(UNZAPI *TUnzipPrintProc)(char *Text, unsigned long Length);
typedef int(UNZAPI *TUnzipReplaceProc)(char *FileName);
typedef int(UNZAPI *TUnzipPasswordProc)(char *Buffer, int Size, const char *Prompt, const char *Name);
/* Called once per extracted entry: size, compressed size, ratio (per
   mille), month, day, year, hour, minute, 'F' or 'D' (file, folder),
   name, method ("Stored", "Deflated"), CRC, 'E' when encrypted else ' '. */
typedef void(UNZAPI *TUnzipMessageProc)(unsigned long Size, unsigned long Compressed, unsigned Ratio,
                                        unsigned Month, unsigned Day, unsigned Year, unsigned Hour,
                                        unsigned Minute, char Kind, const char *Name, const char *Method,
                                        unsigned long Crc, char Encrypted);
/* Called before each entry with its name and size: non-zero stops the
   extraction (result 80). */
typedef int(UNZAPI *TUnzipServiceProc)(const char *Name, unsigned long Size);

typedef struct {
  TUnzipPrintProc Print;
  void *Reserved;
  TUnzipReplaceProc Replace;
  TUnzipPasswordProc Password;
  TUnzipMessageProc Message;
  TUnzipServiceProc Service;
} TUnzipUserFunctions;

/* The extraction record: seventeen 32-bit fields (68 bytes) in the 32-bit
   edition; in the 64-bit edition the two text pointers are 8 bytes each at
   64 and 72 (80 bytes). Flags are true when non-zero.
   What happens to a file that exists already:
     Overwrite off                        never touched (OnlyNewer changes nothing)
     Overwrite on,  OnlyNewer off         replaced
     Overwrite on,  OnlyNewer on          replaced only by a newer entry
   Files that do not exist are always extracted, unless Freshen is set. */
typedef struct {
  int32_t OnlyNewer;          /*  0 */
  int32_t Reserved4[2];       /*  4 */
  int32_t Quiet;              /* 12 0..2 */
  int32_t Reserved16[3];      /* 16 */
  int32_t Freshen;            /* 28 only replace files that exist */
  int32_t Reserved32;         /* 32 */
  int32_t UseFolderNames;     /* 36 off: every file straight into the destination */
  int32_t Overwrite;          /* 40 */
  int32_t Reserved44[3];      /* 44 */
  int32_t IgnoreCase;         /* 56 */
  const char *ZipFile;        /* 60 / 64 */
  const char *ExtractDir;     /* 64 / 72: created when missing */
} TUnzipOptions;

/* Results of Wiz_SingleEntryUnzip. */
enum {
  PK_OK = 0,
  PK_WARN = 1,    /* done; something was stripped, or the archive is empty */
  PK_ERR = 2,     /* some entries not extracted (damaged data, refused names) */
  PK_BADERR = 3,  /* the archive's structure is damaged */
  PK_MEM = 4,
  PK_NOZIP = 9,   /* the archive is missing or not a zip file */
  PK_PARAM = 10,
  PK_DISK = 50,   /* the disk is full or a file cannot be written */
  PK_EOF = 51,    /* the archive ends early */
  PK_ABORT = 80,
  PK_UNSUPP = 81, /* compression method or encryption not supported */
};

/* Extracts every entry (include and exclude lists are not supported:
   IncludeCount and ExcludeCount must be 0). */
int UNZAPI Wiz_SingleEntryUnzip(int IncludeCount, char **Include, int ExcludeCount, char **Exclude,
                                TUnzipOptions *Options, TUnzipUserFunctions *Functions);

#ifdef __cplusplus
}

#include <cstddef>
static_assert(offsetof(TUnzipOptions, OnlyNewer) == 0 && offsetof(TUnzipOptions, Quiet) == 12 &&
              offsetof(TUnzipOptions, Freshen) == 28 && offsetof(TUnzipOptions, UseFolderNames) == 36 &&
              offsetof(TUnzipOptions, Overwrite) == 40 && offsetof(TUnzipOptions, IgnoreCase) == 56 &&
              offsetof(TUnzipOptions, ZipFile) == 60 + (sizeof(void *) == 8 ? 4 : 0),
              "extraction record offsets");
static_assert(sizeof(void *) == 8 ? sizeof(TUnzipOptions) == 80 && offsetof(TUnzipOptions, ExtractDir) == 72
                                  : sizeof(TUnzipOptions) == 68 && offsetof(TUnzipOptions, ExtractDir) == 64,
              "extraction record: 68 bytes (32-bit), 80 bytes (64-bit)");
static_assert(sizeof(TUnzipUserFunctions) == 6 * sizeof(void *), "six callbacks");
#endif
