// The platform services of extraction for the native build.
#include <sys/stat.h>

#include <ctime>

#include "ZFRead.h"

void ZFSetFileDosTime(TStream* File, uint16_t DosDate, uint16_t DosTime) {
    THandleStream* handle = dynamic_cast<THandleStream*>(File);
    if (!handle) return;
    std::tm t{};
    t.tm_year = 80 + (DosDate >> 9);
    t.tm_mon = ((DosDate >> 5) & 0x0F) - 1;
    t.tm_mday = DosDate & 0x1F;
    t.tm_hour = DosTime >> 11;
    t.tm_min = (DosTime >> 5) & 0x3F;
    t.tm_sec = (DosTime & 0x1F) * 2;
    t.tm_isdst = -1;
    const time_t local = std::mktime(&t);
    if (local == (time_t)-1) return;
    const timespec times[2] = {{local, 0}, {local, 0}};
    futimens((int)(intptr_t)handle->GetHandle(), times);
}

bool ZFSetOpenFileTimeAttr(TStream* File, uint16_t DosDate, uint16_t DosTime, int32_t) {
    ZFSetFileDosTime(File, DosDate, DosTime);
    return false;   // the attributes are set by name
}

std::unique_ptr<TStream> ZFCreateNewFile(const std::wstring&) {
    return nullptr;   // names match without regard to case here: the existence check finds them
}
