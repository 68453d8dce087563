// zip32.dll: creates and updates zip archives for the archive plug-in.
// A caller sets its options once (ZpSetOptions), hands over its callbacks
// (ZpInit) and archives a list of file patterns (ZpArchive). The
// options are process-wide: callers archive one at a time.
//
// Entry names follow the common zip tools: no drive, no leading slash, "/"
// between folders, never "..". A relative pattern is taken from the
// root folder of the options and named relative to it; an absolute one is
// named by its path without the drive. A new or changed archive is written
// as a temporary file beside the old one and replaces it only when complete.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZIPAPI __stdcall

typedef int(ZIPAPI *TZipPrintProc)(char *Text, unsigned long Length);
/* Receives the archive's current comment ("" when none) and returns the
   new one; the text must stay valid until ZpArchive returns. */
typedef char *(ZIPAPI *TZipCommentProc)(char *OldComment);
typedef int(ZIPAPI *TZipPasswordProc)(char *Buffer, int Size, const char *Prompt, const char *Name);

typedef struct {
  TZipPrintProc Print;
  TZipCommentProc Comment;
  TZipPasswordProc Password;
} TZipUserFunctions;

/* The options record, passed by value: 248 bytes of 32-bit words and texts
   in both editions (it holds no pointer). A true flag is any non-zero
   value; fields marked reserved must be 0. */
typedef struct {
  int32_t Reserved0[2];       /*   0 */
  int32_t SystemHidden;       /*   8 include system and hidden files */
  int32_t Reserved12;         /*  12 */
  int32_t ExtraInfo;          /*  16 store the extended timestamp */
  int32_t Reserved20[7];      /*  20 */
  int32_t JunkPaths;          /*  48 entry names without folders */
  int32_t Recurse;            /*  52 descend into folders */
  int32_t Reserved56;         /*  56 */
  int32_t DosNames;           /*  60 short (8.3) names */
  int32_t Move;               /*  64 delete the sources once archived */
  int32_t Reserved68;         /*  68 */
  int32_t Update;             /*  72 add new files, replace older entries */
  int32_t Freshen;            /*  76 only replace older entries */
  int32_t Reserved80[2];      /*  80 */
  int32_t Comment;            /*  88 ask the comment callback */
  int32_t Reserved92[4];      /*  92 */
  char Level;                 /* 108 '0' (stored) to '9' */
  char Reserved109[9];        /* 109 empty text */
  char RootDir[130];          /* 118 base folder, zero-terminated */
} TZipOptions;

/* Result codes of ZpArchive. */
enum {
  ZE_OK = 0,
  ZE_EOF = 2,
  ZE_FORM = 3,
  ZE_MEM = 4,
  ZE_LOGIC = 5,
  ZE_BIG = 6,
  ZE_NOTE = 7,
  ZE_TEST = 8,
  ZE_ABORT = 9,
  ZE_TEMP = 10,
  ZE_READ = 11,
  ZE_NONE = 12,
  ZE_NAME = 13,
  ZE_WRITE = 14,
  ZE_CREAT = 15,
  ZE_PARMS = 16,
  ZE_OPEN = 18
};

/* Takes the callbacks; 0 when the record is missing. */
int ZIPAPI ZpInit(TZipUserFunctions *Functions);
/* Takes the options; 0 (refused) when the level is not '0'..'9' or a text
   is not terminated inside its field. */
int ZIPAPI ZpSetOptions(TZipOptions Options);
/* Archives Count file patterns (wildcards allowed) into ZipFile. */
int ZIPAPI ZpArchive(int Count, char *ZipFile, char **Files);

#ifdef __cplusplus
}

#include <cstddef>
static_assert(sizeof(TZipOptions) == 248, "options record: 248 bytes in both editions");
static_assert(offsetof(TZipOptions, SystemHidden) == 8 && offsetof(TZipOptions, ExtraInfo) == 16 &&
              offsetof(TZipOptions, JunkPaths) == 48 && offsetof(TZipOptions, Recurse) == 52 &&
              offsetof(TZipOptions, DosNames) == 60 && offsetof(TZipOptions, Move) == 64 &&
              offsetof(TZipOptions, Update) == 72 && offsetof(TZipOptions, Freshen) == 76 &&
              offsetof(TZipOptions, Comment) == 88 && offsetof(TZipOptions, Level) == 108 &&
              offsetof(TZipOptions, Reserved109) == 109 && offsetof(TZipOptions, RootDir) == 118,
              "options record offsets");
static_assert(sizeof(TZipUserFunctions) == 3 * sizeof(void *), "three callbacks");
#endif
