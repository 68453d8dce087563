// "Create File List" (action 13).
#pragma once

#define IDD_FILELIST 2300
#define IDC_tcPages 2301
#define IDC_bFileListVariable 2302
// "Names && Locations"
#define IDC_lFiles 2303
#define IDC_lbFiles 2304
#define IDC_bSelectFiles 2305
#define IDC_cbSubDirs 2306
#define IDC_lExcMask 2307
#define IDC_eExcMask 2308
#define IDC_lDestFile 2309
#define IDC_eDestFile 2310
#define IDC_BrowseListFile 2311
// "Date Modified"
#define IDC_rbAllFiles 2315
#define IDC_rbCreatedOrModified 2316
// The five filter kinds, in order (kind = id - IDC_rbKind1 + 1).
#define IDC_rbKind1 2320
#define IDC_rbKind2 2321
#define IDC_rbKind3 2322
#define IDC_rbKind4 2323
#define IDC_rbKind5 2324
#define IDC_Date1 2325
#define IDC_lAnd 2326
#define IDC_Date2 2327
// The number of kind k is IDC_eKind1 + k - 1 (k = 2..5), its up-down and
// unit beside it.
#define IDC_eKind2 2331
#define IDC_eKind3 2332
#define IDC_eKind4 2333
#define IDC_eKind5 2334
#define IDC_udKind2 2341
#define IDC_udKind3 2342
#define IDC_udKind4 2343
#define IDC_udKind5 2344
#define IDC_lKind2 2351
#define IDC_lKind3 2352
#define IDC_lKind4 2353
#define IDC_lKind5 2354
// "How create"
#define IDC_cbWithoutPath 2360
#define IDC_cbBefore 2361
#define IDC_mBefore 2362
#define IDC_cbAfter 2363
#define IDC_mAfter 2364
#define IDC_cbBeforeLine 2365
#define IDC_eBeforeLine 2366
#define IDC_cbAfterLine 2367
#define IDC_eAfterLine 2368
