// The string and date helpers that take the system's own structures.
#include "KWCommonLib_strings.h"

#include <cmath>

#include "SysUtils.h"
#include "WinApi.h"

void KWDateTimeToFileTime(FILETIME& AFileTime, double ADateTime) {
    AFileTime = FILETIME{0, 0};
    if (std::isnan(ADateTime)) return;
    SYSTEMTIME st{};
    DateTimeToSystemTime(ADateTime, st);
    FILETIME local{};
    if (SystemTimeToFileTime(&st, &local)) LocalFileTimeToFileTime(&local, &AFileTime);
}

int32_t KWRectWidth(const RECT& R) { return R.right - R.left; }
int32_t KWRectHeight(const RECT& R) { return R.bottom - R.top; }
RECT KWInflateRect(const RECT& R, int32_t DX, int32_t DY) {
    return RECT{R.left - DX, R.top - DY, R.right + DX, R.bottom + DY};
}
