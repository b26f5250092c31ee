// The platform services of extraction on Windows.
#include "ZFRead.h"

#include "WinApi.h"

void ZFSetFileDosTime(TStream* File, uint16_t DosDate, uint16_t DosTime) {
    THandleStream* handle = dynamic_cast<THandleStream*>(File);
    if (!handle) return;
    FILETIME local, utc;
    if (DosDateTimeToFileTime(DosDate, DosTime, &local) && LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(handle->GetHandle(), nullptr, nullptr, &utc);
}
