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
