// Resource ids of the framework test plug-in.
#pragma once

#define IDD_TPCONFIG 200
#define IDC_TPTEXT 201
#define IDC_TPVAR 202
