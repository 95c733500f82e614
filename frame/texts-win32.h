// String table entries of the Windows build (frame/texts-win32.rc).
#pragma once

#define IDS_WRITE_FAILED 65500
#define IDS_OUT_OF_MEMORY 65501
#define IDS_INFOINC_INVALID 65502
#define IDS_INFOINC_CAPTION 65503
#define IDS_WINE_RUNNING 65504
#define IDS_REPORT_TEMPLATE 65514
#define IDS_REPORT_CAPTION 65515
