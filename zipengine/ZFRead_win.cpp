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

bool ZFSetOpenFileAttr(TStream* File, int32_t Attr) {
    THandleStream* handle = dynamic_cast<THandleStream*>(File);
    if (!handle) return false;
    // Zero times leave the times alone; zero attributes would too, so none is said as "normal".
    FILE_BASIC_INFO info{};
    info.FileAttributes = Attr ? (DWORD)Attr : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle->GetHandle(), FileBasicInfo, &info, sizeof info) != 0;
}
