// The fixed texts in UTF-8: the one source of the POSIX texts and of the
// Windows string table (frame/texts-win32.rc).
#pragma once

#define AUTHREG_TEXT_REPORT_TEMPLATE "Exception %s in module %s at %p.\n%s%s"
#define AUTHREG_TEXT_REPORT_CAPTION "アプリケーション エラー"
#define AUTHREG_TEXT_WRITE_FAILED "'%s' の設定に失敗しました"
#define AUTHREG_TEXT_OUT_OF_MEMORY "メモリが足りません"
#define AUTHREG_TEXT_INFOINC_INVALID "InfoInc パラメータの値が不正"
#define AUTHREG_TEXT_INFOINC_CAPTION "ERROR"
// One literal: the resource compiler does not join adjacent ones.
#define AUTHREG_TEXT_WINE_RUNNING "Wine is running on the prefix %s and owns its registry; stop it with 'wineserver -k' or wait for it with 'wineserver -w', then run again"
