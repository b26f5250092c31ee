// The platform services of extraction on Windows.
#include "ZFRead.h"

#include "WinApi.h"

namespace {

// The UTC file time of an MS-DOS local date and time; false when it has none.
bool DosToUtc(uint16_t DosDate, uint16_t DosTime, FILETIME& Utc) {
    FILETIME local;
    return DosDateTimeToFileTime(DosDate, DosTime, &local) && LocalFileTimeToFileTime(&local, &Utc);
}

}  // namespace

void ZFSetFileDosTime(TStream* File, uint16_t DosDate, uint16_t DosTime) {
    THandleStream* handle = dynamic_cast<THandleStream*>(File);
    FILETIME utc;
    if (handle && DosToUtc(DosDate, DosTime, utc)) SetFileTime(handle->GetHandle(), nullptr, nullptr, &utc);
}

bool ZFSetOpenFileTimeAttr(TStream* File, uint16_t DosDate, uint16_t DosTime, int32_t Attr) {
    THandleStream* handle = dynamic_cast<THandleStream*>(File);
    if (!handle) return false;
    // Zero times leave the times alone; zero attributes would too, so none is said as "normal".
    FILE_BASIC_INFO info{};
    FILETIME utc;
    if (DosToUtc(DosDate, DosTime, utc))
        info.LastWriteTime.QuadPart = (LONGLONG)((uint64_t)utc.dwHighDateTime << 32 | utc.dwLowDateTime);
    info.FileAttributes = Attr ? (DWORD)Attr : FILE_ATTRIBUTE_NORMAL;
    if (SetFileInformationByHandle(handle->GetHandle(), FileBasicInfo, &info, sizeof info)) return true;
    ZFSetFileDosTime(File, DosDate, DosTime);
    return false;
}

namespace {

// A stream over a file handle that it owns.
class TZFNewFileStream : public THandleStream {
public:
    explicit TZFNewFileStream(HANDLE Handle) : THandleStream(Handle) {}
    ~TZFNewFileStream() override { CloseHandle(FHandle); }
};

}  // namespace

std::unique_ptr<TStream> ZFCreateNewFile(const std::wstring& FileName) {
    const HANDLE h = CreateFileW(FileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<TZFNewFileStream>(h);
}
