// Helpers of the native tests: a scratch folder named the way the engine sees paths (Wine's
// shape: drive Z: is the root, "\" separates folders).
#pragma once
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "PosixPlatform.h"

namespace nativetest {

class TScratchDir {
public:
    TScratchDir() {
        char pattern[] = "/tmp/kw-native-XXXXXX";
        FPosix = mkdtemp(pattern) ? pattern : "";
        FPath = kwposix::WinePath(FPosix) + L"\\";
    }
    ~TScratchDir() {
        if (FPosix.size() > 5) {
            const std::string command = "rm -rf '" + FPosix + "'";
            (void)std::system(command.c_str());
        }
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;

    // The folder with a trailing "\".
    const std::wstring& Path() const { return FPath; }
    const std::string& PosixPath() const { return FPosix; }

private:
    std::string FPosix;
    std::wstring FPath;
};

}  // namespace nativetest
