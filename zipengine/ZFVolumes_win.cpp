// The drive services of the volume layer on Windows.
#include "ZFVolumes.h"

#include "WinApi.h"
#include "ZFStrFunc.h"

namespace {

// The root of the drive of a path ("C:\" or "\\server\share\"), or "" when it has none.
std::wstring DriveRoot(const std::wstring& path) {
    const std::wstring drive = ZFExtractFileDrive(ZFExpandFileName(path));
    return drive.empty() ? std::wstring() : drive + L'\\';
}

class TZFSystemVolumeServices : public TZFVolumeServices {
public:
    bool IsRemovable(const std::wstring& Path) override { return IsRemovablePath(Path); }

    int64_t FreeSpace(const std::wstring& Path) override {
        ULARGE_INTEGER available;
        const std::wstring root = DriveRoot(Path);
        if (!GetDiskFreeSpaceExW(root.empty() ? nullptr : root.c_str(), &available, nullptr, nullptr))
            return -1;
        return (int64_t)available.QuadPart;
    }

    bool SetDriveLabel(const std::wstring& Path, const std::wstring& Label) override {
        const std::wstring root = DriveRoot(Path);
        return !root.empty() && SetVolumeLabelW(root.c_str(), Label.c_str()) != 0;
    }

    void FlushFile(TStream* Stream) override {
        if (THandleStream* file = dynamic_cast<THandleStream*>(Stream)) FlushFileBuffers(file->GetHandle());
    }

    bool Confirm(const std::wstring& Text) override {
        return MessageBoxW(GetActiveWindow(), Text.c_str(), L"Confirm",
                           MB_OKCANCEL | MB_ICONQUESTION | MB_TASKMODAL) == IDOK;
    }
};

}  // namespace

TZFVolumeServices& ZFSystemVolumeServices() {
    static TZFSystemVolumeServices services;
    return services;
}
