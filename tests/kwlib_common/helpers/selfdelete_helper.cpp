// A tiny program that deletes itself and its folder the way the uninstaller does: it hands its own
// path to the batch deletion, lingers a moment so that the batch file has to wait for it, and ends.
// Its version resource is the fixture of the file-version tests.
#include <string>

#include "KWCommonLib.h"
#include "WinApi.h"

int main() {
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (!KWDeleteByBatch(self, true)) return 1;
    Sleep(1500);
    return 0;
}
