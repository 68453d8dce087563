/*
 * OVTypes.h - the binary contract between the Orvane host (orvane.exe) and
 * its plug-in libraries (*.ovp).
 *
 * This header is the whole contract. It is plain C (it compiles as C89 with
 * a C11 _Static_assert, and as C++), so a plug-in may be written with any
 * Windows compiler. Host and plug-ins are built separately and meet only
 * through the records below, so every size and offset is checked at
 * compile time.
 *
 * Two editions
 * ------------
 * Orvane is a 32-bit program; the same sources also build a 64-bit edition.
 * A host loads plug-ins of its own edition only (one of the other is
 * skipped with a warning). The offsets written in the comments below are
 * those of the 32-bit layout: every field is 32 bits and the records are
 * packed sequences of them. The 64-bit layout has the same fields in the
 * same order; pointers, handles and function pointers are 64 bits there and
 * every field has its natural Win64 alignment, so a 32-bit field followed
 * by a pointer is followed by 4 bytes of padding. TAddMenuItemRecord stays
 * packed on both. The checks at the end of this header state both layouts.
 * Parameter blocks and job files hold no pointers: they are the same bytes
 * in both editions.
 *
 * Rules every plug-in must follow
 * -------------------------------
 *  - The library exports exactly one function by the undecorated name
 *    "InitOVPlugin" (stdcall, one argument). The host calls it once, on its
 *    main thread, right after loading the library, with the address of its
 *    THostRecord. The plug-in copies all 100 bytes of that record, makes
 *    AppWindow the owner of its own windows, and returns a TPluginRecord that
 *    stays valid (with its tables, info arrays and every text they point to)
 *    until its ShutdownPlugin entry has returned. It must not call a host
 *    service that names a message before InitOVPlugin has returned.
 *  - All functions use the stdcall convention (arguments pushed right to
 *    left, callee pops) in the 32-bit edition and the one Win64 convention
 *    in the 64-bit edition. In the 32-bit edition all records are packed
 *    sequences of 32-bit little-endian fields (one exception:
 *    TAddMenuItemRecord, 13 bytes).
 *  - Texts are zero-terminated 8-bit strings in the system code page. Texts
 *    the host passes are valid during the call only. Output buffers are
 *    supplied by the caller with their capacity: 1024 bytes for
 *    descriptions, 655360 bytes for ExpandVariables, 1024 bytes for
 *    SelectVariable.
 *  - No exception of any kind may leave an entry of the plug-in. The host
 *    guards every call and reports an escaping fault as
 *    "Failed execute '<entry>' (<file>)", but that guard exists for faulty
 *    plug-ins only.
 *  - Parameter blocks (the Data of TOVMethodParams / TOVRunnerParams) are
 *    always allocated with the host's Alloc service and freed with its Free
 *    service, never with the plug-in's own heap: the host adopts, stores
 *    (verbatim, in the job file) and frees them. Size 0 with a null Data
 *    means "never configured": the action or trigger applies its defaults.
 *    A plug-in that replaces a block during ConfigMethod / ConfigRunner
 *    first frees the old one (when Size > 0 and Data is not null), then
 *    allocates the new one and updates Size and Data in the record it was
 *    given. On Cancel (result false) it must leave the old block alone.
 *  - ExecMethod runs on job threads, possibly several at once for one
 *    plug-in: keep no per-call state outside the parameter record. Every
 *    other entry is called on the host's main thread only.
 *  - A plug-in never changes its ID and only appends to its method and
 *    runner lists: job files refer to actions and triggers by plug-in ID and
 *    0-based index.
 */
#ifndef OVTYPES_H
#define OVTYPES_H

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
#define OV_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define OV_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#define OVAPI __stdcall

/* Interface version the host puts into THostRecord.Version. */
#define OV_HOST_VERSION 1300

/* 32-bit truth value: 0 = false, any other value = true; producers write -1
   for true. */
typedef int32_t Bool32;
#define OV_TRUE ((Bool32)-1)
#define OV_FALSE ((Bool32)0)

/* Capacities the host and the delivered plug-ins use for text buffers. */
#define OV_DESCR_BUFFER 1024
#define OV_EXPAND_BUFFER 655360 /* 0xA0000 */
#define OV_SELECTVAR_BUFFER 1024

/* Log levels passed to the Log service. */
#define OV_LOG_INFO 0
#define OV_LOG_WARNING 1
#define OV_LOG_ERROR 2

/* Job states as passed to an EnumJobs callback. */
#define OV_STATE_MANUAL 0   /* "Manual run" */
#define OV_STATE_IDLE 1     /* "Idle..." */
#define OV_STATE_DISABLED 2 /* "Disabled" (open in the job editor) */
#define OV_STATE_RUNNING 3  /* "Running (%s)..." */
#define OV_STATE_STOPPING 4 /* "Stopped, waiting for completion step ..." */

/* ------------------------------------------------------------------------
 * Parameter records of steps (methods) and events (runners).
 * ---------------------------------------------------------------------- */

/* A step's settings: Size bytes at Data. */
typedef struct TOVMethodParams {
  int32_t Size; /* 0: bytes in the block */
  void *Data;   /* 4: the block (host allocator), null when Size is 0 */
} TOVMethodParams;

/* An event's settings. JobID is the ID of the job that owns the event: the
   value to pass to RunJob when the trigger fires. */
typedef struct TOVRunnerParams {
  int32_t JobID; /* 0 */
  int32_t Size;  /* 4 */
  void *Data;    /* 8 */
} TOVRunnerParams;

/* ------------------------------------------------------------------------
 * Host services (THostRecord). "Message" names the window message that the
 * service sends to AppWindow; such a service is a synchronous round trip to
 * the host's main thread and may be called from any thread, but never while
 * the main thread waits for the calling plug-in (for example from inside
 * StopRunner or ShutdownPlugin while holding a lock a trigger thread needs).
 * ---------------------------------------------------------------------- */

/* Opens the host's file-list dialog on the comma-separated list in *Text.
   On OK the host frees the old block (when *Size > 0 and *Text is not
   null), allocates a new one of length + 1 bytes, stores pointer and size
   through the two references and returns true; on Cancel it returns false
   and changes nothing. Message 0x6007. */
typedef Bool32(OVAPI *TOVSelectFilesProc)(char **Text, int32_t *Size);

/* Writes a line to the log of the job whose step runs on the calling thread,
   or to the main log. Level (OV_LOG_*) is an 8-bit value passed as one
   32-bit argument. Message 0x6000. */
typedef void(OVAPI *TOVLogProc)(uint32_t Level, const char *Text);

/* Allocates Size bytes with the host's allocator and stores the address. */
typedef void(OVAPI *TOVAllocProc)(void **P, int32_t Size);

/* Frees a block obtained from Alloc; *P is not cleared. */
typedef void(OVAPI *TOVFreeProc)(void **P, int32_t Size);

/* Callback of EnumJobs: one call per job in job-list order. State is one of
   OV_STATE_* (an 8-bit value passed as one 32-bit argument). */
typedef void(OVAPI *TOVJobsEnumProc)(int32_t JobID, const char *Name,
                                     uint32_t State);

/* Calls Proc once per job before returning; a null Proc does nothing.
   Message 0x6002. */
typedef void(OVAPI *TOVEnumJobsProc)(TOVJobsEnumProc Proc);

/* Asks the host to run the job with that ID; Cause (may be null) is logged
   as "Cause: %s". Result: 0 when no job has the ID, otherwise a waitable
   handle of the job's run (the run just started or the one in progress).
   The handle belongs to the host; a caller may wait on it until that run
   ends but must not close it. Message 0x6001. */
typedef HANDLE(OVAPI *TOVRunJobProc)(int32_t JobID, const char *Cause);

/* Procedure called when a menu item made by AddMenuItem is clicked; it
   receives the item. */
typedef void(OVAPI *TOVMenuItemProc)(void *Item);

/* Creates a menu item in the host; unless Detached (an 8-bit value passed
   as one 32-bit argument) is non-zero the item is appended to the Tools
   menu. Result: the item, or null on failure. Message 0x6008. */
typedef void *(OVAPI *TOVAddMenuItemProc)(const char *Caption,
                                      const char *ShortCut,
                                      TOVMenuItemProc Proc, uint32_t Detached);

/* Destroys an item made by AddMenuItem. Message 0x6009. */
typedef void(OVAPI *TOVRemoveMenuItemProc)(void *Item);

/* Expands every variable reference in Src into Dest: at most DestSize
   characters plus the terminating zero. Direct call on the caller's thread,
   safe from job threads. */
typedef void(OVAPI *TOVExpandVariablesProc)(const char *Src, char *Dest,
                                        int32_t DestSize);

/* Opens the host's variables dialog in selection mode. OK copies the chosen
   reference (for example "%DATE%") into Dest and returns true; Cancel sets
   Dest to the empty text and returns false. Main thread only. */
typedef Bool32(OVAPI *TOVSelectVariableProc)(char *Dest, int32_t DestSize);

/* Evaluator of a variable. Key is the lookup key of the reference (upper
   case, delimiters and argument removed), Arg the argument written between
   parentheses (possibly empty); both are zero-terminated copies of at most
   1024 characters. The evaluator writes the value, zero-terminated, of at
   most Capacity characters into Buffer (the host supplies 65536 + 1 bytes)
   and returns true; false means the evaluation failed, and the reference is
   then replaced by its own text without delimiters. It may be called on any
   thread, several at once. */
typedef Bool32(OVAPI *TOVVarFunc)(const char *Key, const char *Arg,
                                  char *Buffer, int32_t Capacity);

/* Adds a system variable computed by the plug-in. A name that exists is
   ignored. Direct call. */
typedef void(OVAPI *TOVRegisterVariableProc)(const char *Name,
                                         const char *Description,
                                         TOVVarFunc Func);

/* The ID of the job whose run executes on the calling thread, 0 when none.
   Message 0x600B. */
typedef int32_t(OVAPI *TOVCurrentJobProc)(void);

/* A procedure of one 32-bit argument (StopJob, ActivateJob, DeactivateJob):
   unknown IDs are ignored. */
typedef void(OVAPI *TOVJobProc)(int32_t JobID);

/* A procedure without arguments (MinimizeHost, RestoreHost, CloseHost,
   AutomationOn, AutomationOff). */
typedef void(OVAPI *TOVHostProc)(void);

/* AddVariable and SetVariable: name and value. Messages 0x6013, 0x6015. */
typedef void(OVAPI *TOVVariableProc)(const char *Name, const char *Value);

/* DeleteVariable: the second argument is accepted and ignored. Message
   0x6014. */
typedef void(OVAPI *TOVDeleteVariableProc)(const char *Name, int32_t Ignored);

/* The record the host hands to InitOVPlugin: 100 bytes, 25 fields, filled
   completely before the first plug-in is loaded and never changed. */
typedef struct THostRecord {
  int32_t Version;                      /*  0: OV_HOST_VERSION */
  HWND AppWindow;                       /*  4: owner of plug-in windows; target of the messages */
  TOVSelectFilesProc SelectFiles;           /*  8: message 0x6007 */
  TOVLogProc Log;                           /* 12: message 0x6000 */
  TOVAllocProc Alloc;                       /* 16 */
  TOVFreeProc Free;                         /* 20 */
  TOVEnumJobsProc EnumJobs;                 /* 24: message 0x6002 */
  TOVRunJobProc RunJob;                     /* 28: message 0x6001 */
  TOVAddMenuItemProc AddMenuItem;           /* 32: message 0x6008 */
  TOVRemoveMenuItemProc RemoveMenuItem;     /* 36: message 0x6009 */
  TOVExpandVariablesProc ExpandVariables;   /* 40: direct call */
  TOVSelectVariableProc SelectVariable;     /* 44: direct call, main thread */
  TOVRegisterVariableProc RegisterVariable; /* 48: direct call */
  TOVCurrentJobProc CurrentJob;             /* 52: message 0x600B */
  TOVJobProc StopJob;                   /* 56: message 0x600C */
  TOVHostProc MinimizeHost;             /* 60: message 0x600D */
  TOVHostProc RestoreHost;              /* 64: message 0x6005 */
  TOVHostProc CloseHost;                /* 68: message 0x600E, posted */
  TOVHostProc AutomationOn;             /* 72: message 0x600F */
  TOVHostProc AutomationOff;            /* 76: message 0x6010 */
  TOVJobProc ActivateJob;               /* 80: message 0x6011 */
  TOVJobProc DeactivateJob;             /* 84: message 0x6012 */
  TOVVariableProc AddVariable;          /* 88: message 0x6013 */
  TOVDeleteVariableProc DeleteVariable;     /* 92: message 0x6014 */
  TOVVariableProc SetVariable;          /* 96: message 0x6015 */
} THostRecord;

/* ------------------------------------------------------------------------
 * What the plug-in hands back.
 * ---------------------------------------------------------------------- */

/* One per method and per runner, in index order; owned by the plug-in. The
   host keeps the Name pointer and the icon handle (not copies) while the
   library is loaded. */
typedef struct TItemInfo {
  const char *Name; /* 0: shown in the host's lists */
  HICON Icon;       /* 4: 0 for none */
} TItemInfo;

typedef TItemInfo *(OVAPI *TOVGetItemInfo)(int32_t Index);
typedef Bool32(OVAPI *TOVMethodFunc)(int32_t Index, TOVMethodParams *Params);
/* Writes at most 1023 characters plus a zero into Buffer (1024 bytes). */
typedef void(OVAPI *TOVMethodDescr)(int32_t Index, TOVMethodParams *Params,
                                    char *Buffer);
typedef Bool32(OVAPI *TOVRunnerFunc)(int32_t Index, TOVRunnerParams *Params);
typedef void(OVAPI *TOVStopRunner)(int32_t Index, TOVRunnerParams *Params);
typedef void(OVAPI *TOVRunnerDescr)(int32_t Index, TOVRunnerParams *Params,
                                    char *Buffer);
typedef void(OVAPI *TOVPluginProc)(void);

/* Methods (actions). Index is 0 <= Index < Count; the host checks it before
   every call. */
typedef struct TMethodTable {
  int32_t Count;                /*  0: >= 1 */
  TOVGetItemInfo GetMethodInfo; /*  4: once per index after InitOVPlugin */
  TOVMethodFunc ConfigMethod;   /*  8: true = confirmed, host adopts Size/Data */
  TOVMethodFunc ExecMethod;     /* 12: job thread; true = step succeeded */
  TOVMethodDescr MethodDescr;   /* 16: or null: the Name is shown */
} TMethodTable;

/* Runners (triggers). StartRunner receives the address of the event's own
   TOVRunnerParams, which stays valid and unchanged until the matching
   StopRunner; a trigger fires by calling RunJob with its JobID. */
typedef struct TRunnerTable {
  int32_t Count;                /*  0: >= 1 */
  TOVGetItemInfo GetRunnerInfo; /*  4 */
  TOVRunnerFunc ConfigRunner;   /*  8 */
  TOVRunnerFunc StartRunner;    /* 12: true = armed; StopRunner follows once */
  TOVStopRunner StopRunner;     /* 16: disarmed when it returns */
  TOVRunnerDescr RunnerDescr;   /* 20: or null */
} TRunnerTable;

/* Returned by InitOVPlugin; owned by the plug-in. */
typedef struct TPluginRecord {
  int32_t ID;                   /*  0: the plug-in's own, never changed */
  HICON Icon;                   /*  4: 0 for none */
  const char *Description;      /*  8: plug-in title */
  TOVPluginProc PluginConfig;   /* 12: or null: "No configuration needed." */
  TOVPluginProc About;          /* 16: or null */
  TOVPluginProc ShutdownPlugin; /* 20: or null; last call before unloading */
  Bool32 HasMethods;            /* 24 */
  TMethodTable *Methods;        /* 28: consulted only when HasMethods */
  Bool32 HasRunners;            /* 32 */
  TRunnerTable *Runners;        /* 36: consulted only when HasRunners */
} TPluginRecord;

/* The single export. */
typedef TPluginRecord *(OVAPI *TInitOVPlugin)(THostRecord *Host);
#define OV_INIT_EXPORT "InitOVPlugin"

/* ------------------------------------------------------------------------
 * Window messages to AppWindow. wParam / lParam as listed; "sent" messages
 * return when the host's main thread has handled them.
 * ---------------------------------------------------------------------- */

enum {
  OVM_LOG = 0x6000,            /* Log: wParam text, lParam &TOVLogRecord */
  OVM_RUNJOB = 0x6001,         /* RunJob: wParam job ID, lParam cause or 0; result handle */
  OVM_ENUMJOBS = 0x6002,       /* EnumJobs: wParam TOVJobsEnumProc */
  OVM_GETAPPLICATION = 0x6003, /* sent by plug-ins: result the application object */
  OVM_JOBNAME = 0x6004,        /* sent by plug-ins: wParam job ID; result const char* */
  OVM_RESTOREHOST = 0x6005,    /* RestoreHost; also sent by a second instance */
  OVM_GETMAINWINDOW = 0x6006,  /* sent by plug-ins: result the main window */
  OVM_SELECTFILES = 0x6007,    /* SelectFiles: wParam &TOVSelectFilesRecord; result 1/0 */
  OVM_ADDMENUITEM = 0x6008,    /* AddMenuItem: wParam &TAddMenuItemRecord; result item */
  OVM_REMOVEMENUITEM = 0x6009, /* RemoveMenuItem: wParam item */
  OVM_SHUTDOWN = 0x600A,       /* posted by plug-ins: wParam exit-windows code */
  OVM_CURRENTJOB = 0x600B,     /* CurrentJob: wParam thread id; result job ID */
  OVM_STOPJOB = 0x600C,        /* StopJob: wParam job ID */
  OVM_MINIMIZEHOST = 0x600D,   /* MinimizeHost */
  OVM_CLOSEHOST = 0x600E,      /* CloseHost (posted) */
  OVM_AUTOMATIONON = 0x600F,   /* AutomationOn */
  OVM_AUTOMATIONOFF = 0x6010,  /* AutomationOff */
  OVM_ACTIVATEJOB = 0x6011,    /* ActivateJob: wParam job ID */
  OVM_DEACTIVATEJOB = 0x6012,  /* DeactivateJob: wParam job ID */
  OVM_ADDVARIABLE = 0x6013,    /* AddVariable: wParam name, lParam value */
  OVM_DELETEVARIABLE = 0x6014, /* DeleteVariable: wParam name */
  OVM_SETVARIABLE = 0x6015     /* SetVariable: wParam name, lParam value */
};
#define OVM_FIRST OVM_LOG
#define OVM_LAST OVM_SETVARIABLE

/* The name text the host answers to OVM_JOBNAME for an unknown ID. */
#define OV_UNKNOWN_JOB_NAME "!!! Unknown Job !!!"

/* lParam of OVM_LOG. */
typedef struct TOVLogRecord {
  int32_t Level;    /* 0: OV_LOG_* */
  uint32_t Thread;  /* 4: identifier of the calling thread */
} TOVLogRecord;

/* wParam of OVM_SELECTFILES; after a non-zero result the service copies
   both fields back into the caller's variables. */
typedef struct TOVSelectFilesRecord {
  char *Text;   /* 0 */
  int32_t Size; /* 4 */
} TOVSelectFilesRecord;

/* wParam of OVM_ADDMENUITEM: 13 bytes. */
#pragma pack(push, 1)
typedef struct TAddMenuItemRecord {
  const char *Caption;  /*  0 */
  const char *ShortCut; /*  4: or null */
  TOVMenuItemProc Proc; /*  8 */
  uint8_t Detached;     /* 12 */
} TAddMenuItemRecord;
#pragma pack(pop)

/* ------------------------------------------------------------------------
 * Layout checks: both editions' contracts are byte exact.
 * ---------------------------------------------------------------------- */

#if defined(_WIN64)
#define OV_LAYOUT(O32, O64) (O64)
OV_STATIC_ASSERT(sizeof(void *) == 8, "the 64-bit edition has 64-bit pointers");
#else
#define OV_LAYOUT(O32, O64) (O32)
OV_STATIC_ASSERT(sizeof(void *) == 4, "the 32-bit edition has 32-bit pointers");
#endif

#define OV_CHECK_OFFSET(T, F, O32, O64)                  \
  OV_STATIC_ASSERT(offsetof(T, F) == OV_LAYOUT(O32, O64), \
                   #T "." #F " must be at offset " #O32 " (32-bit) or " #O64 " (64-bit)")
#define OV_CHECK_SIZE(T, S32, S64)                     \
  OV_STATIC_ASSERT(sizeof(T) == OV_LAYOUT(S32, S64), \
                   #T " is " #S32 " bytes (32-bit) or " #S64 " bytes (64-bit)")

OV_STATIC_ASSERT(sizeof(Bool32) == 4, "Bool32 is 32 bits");

OV_CHECK_SIZE(TOVMethodParams, 8, 16);
OV_CHECK_OFFSET(TOVMethodParams, Size, 0, 0);
OV_CHECK_OFFSET(TOVMethodParams, Data, 4, 8);

OV_CHECK_SIZE(TOVRunnerParams, 12, 16);
OV_CHECK_OFFSET(TOVRunnerParams, JobID, 0, 0);
OV_CHECK_OFFSET(TOVRunnerParams, Size, 4, 4);
OV_CHECK_OFFSET(TOVRunnerParams, Data, 8, 8);

OV_CHECK_SIZE(THostRecord, 100, 200);
OV_CHECK_OFFSET(THostRecord, Version, 0, 0);
OV_CHECK_OFFSET(THostRecord, AppWindow, 4, 8);
OV_CHECK_OFFSET(THostRecord, SelectFiles, 8, 16);
OV_CHECK_OFFSET(THostRecord, Log, 12, 24);
OV_CHECK_OFFSET(THostRecord, Alloc, 16, 32);
OV_CHECK_OFFSET(THostRecord, Free, 20, 40);
OV_CHECK_OFFSET(THostRecord, EnumJobs, 24, 48);
OV_CHECK_OFFSET(THostRecord, RunJob, 28, 56);
OV_CHECK_OFFSET(THostRecord, AddMenuItem, 32, 64);
OV_CHECK_OFFSET(THostRecord, RemoveMenuItem, 36, 72);
OV_CHECK_OFFSET(THostRecord, ExpandVariables, 40, 80);
OV_CHECK_OFFSET(THostRecord, SelectVariable, 44, 88);
OV_CHECK_OFFSET(THostRecord, RegisterVariable, 48, 96);
OV_CHECK_OFFSET(THostRecord, CurrentJob, 52, 104);
OV_CHECK_OFFSET(THostRecord, StopJob, 56, 112);
OV_CHECK_OFFSET(THostRecord, MinimizeHost, 60, 120);
OV_CHECK_OFFSET(THostRecord, RestoreHost, 64, 128);
OV_CHECK_OFFSET(THostRecord, CloseHost, 68, 136);
OV_CHECK_OFFSET(THostRecord, AutomationOn, 72, 144);
OV_CHECK_OFFSET(THostRecord, AutomationOff, 76, 152);
OV_CHECK_OFFSET(THostRecord, ActivateJob, 80, 160);
OV_CHECK_OFFSET(THostRecord, DeactivateJob, 84, 168);
OV_CHECK_OFFSET(THostRecord, AddVariable, 88, 176);
OV_CHECK_OFFSET(THostRecord, DeleteVariable, 92, 184);
OV_CHECK_OFFSET(THostRecord, SetVariable, 96, 192);

OV_CHECK_SIZE(TItemInfo, 8, 16);
OV_CHECK_OFFSET(TItemInfo, Name, 0, 0);
OV_CHECK_OFFSET(TItemInfo, Icon, 4, 8);

OV_CHECK_SIZE(TMethodTable, 20, 40);
OV_CHECK_OFFSET(TMethodTable, Count, 0, 0);
OV_CHECK_OFFSET(TMethodTable, GetMethodInfo, 4, 8);
OV_CHECK_OFFSET(TMethodTable, ConfigMethod, 8, 16);
OV_CHECK_OFFSET(TMethodTable, ExecMethod, 12, 24);
OV_CHECK_OFFSET(TMethodTable, MethodDescr, 16, 32);

OV_CHECK_SIZE(TRunnerTable, 24, 48);
OV_CHECK_OFFSET(TRunnerTable, Count, 0, 0);
OV_CHECK_OFFSET(TRunnerTable, GetRunnerInfo, 4, 8);
OV_CHECK_OFFSET(TRunnerTable, ConfigRunner, 8, 16);
OV_CHECK_OFFSET(TRunnerTable, StartRunner, 12, 24);
OV_CHECK_OFFSET(TRunnerTable, StopRunner, 16, 32);
OV_CHECK_OFFSET(TRunnerTable, RunnerDescr, 20, 40);

OV_CHECK_SIZE(TPluginRecord, 40, 80);
OV_CHECK_OFFSET(TPluginRecord, ID, 0, 0);
OV_CHECK_OFFSET(TPluginRecord, Icon, 4, 8);
OV_CHECK_OFFSET(TPluginRecord, Description, 8, 16);
OV_CHECK_OFFSET(TPluginRecord, PluginConfig, 12, 24);
OV_CHECK_OFFSET(TPluginRecord, About, 16, 32);
OV_CHECK_OFFSET(TPluginRecord, ShutdownPlugin, 20, 40);
OV_CHECK_OFFSET(TPluginRecord, HasMethods, 24, 48);
OV_CHECK_OFFSET(TPluginRecord, Methods, 28, 56);
OV_CHECK_OFFSET(TPluginRecord, HasRunners, 32, 64);
OV_CHECK_OFFSET(TPluginRecord, Runners, 36, 72);

OV_CHECK_SIZE(TOVLogRecord, 8, 8);
OV_CHECK_OFFSET(TOVLogRecord, Level, 0, 0);
OV_CHECK_OFFSET(TOVLogRecord, Thread, 4, 4);

OV_CHECK_SIZE(TOVSelectFilesRecord, 8, 16);
OV_CHECK_OFFSET(TOVSelectFilesRecord, Text, 0, 0);
OV_CHECK_OFFSET(TOVSelectFilesRecord, Size, 4, 8);

OV_CHECK_SIZE(TAddMenuItemRecord, 13, 25);
OV_CHECK_OFFSET(TAddMenuItemRecord, Caption, 0, 0);
OV_CHECK_OFFSET(TAddMenuItemRecord, ShortCut, 4, 8);
OV_CHECK_OFFSET(TAddMenuItemRecord, Proc, 8, 16);
OV_CHECK_OFFSET(TAddMenuItemRecord, Detached, 12, 24);

#ifdef __cplusplus
}
#endif

#endif /* OVTYPES_H */
