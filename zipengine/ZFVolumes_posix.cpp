// The drive services of the volume layer for the native build. There are no removable drives
// and no labels; free space is the file system's; with no one to ask, a confirmation is
// cancelled.
#include <sys/statvfs.h>
#include <unistd.h>

#include "PosixPlatform.h"
#include "ZFStrFunc.h"
#include "ZFVolumes.h"

namespace {

class TZFSystemVolumeServices : public TZFVolumeServices {
public:
    bool IsRemovable(const std::wstring& Path) override { return IsRemovablePath(Path); }

    int64_t FreeSpace(const std::wstring& Path) override {
        // The nearest existing folder of the path stands for its drive.
        std::wstring folder = ZFExtractFilePath(ZFExpandFileName(Path));
        while (!folder.empty() && !ZFDirectoryExists(folder)) {
            const std::wstring parent = ZFExtractFilePath(ZFExcludeTrailingBackslash(folder));
            if (parent == folder) break;
            folder = parent;
        }
        struct statvfs fs;
        if (folder.empty() || statvfs(kwposix::PosixPath(folder).c_str(), &fs) != 0) return -1;
        return (int64_t)fs.f_bavail * (int64_t)fs.f_frsize;
    }

    bool SetDriveLabel(const std::wstring& Path, const std::wstring& Label) override { return false; }

    void FlushFile(TStream* Stream) override {
        if (THandleStream* file = dynamic_cast<THandleStream*>(Stream)) fsync((int)(intptr_t)file->GetHandle());
    }

    bool Confirm(const std::wstring& Text) override { return false; }
};

}  // namespace

TZFVolumeServices& ZFSystemVolumeServices() {
    static TZFSystemVolumeServices services;
    return services;
}
