#include "CRC32.h"

#include "WinApi.h"

// Start-up runs before the application object has a title: the caption is the program's name,
// as a simple message dialog would show it.
void CRC32ShowMessage(const std::wstring& AText) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring caption = path;
    caption = caption.substr(caption.find_last_of(L"\\/") + 1);
    caption = caption.substr(0, caption.rfind(L'.'));
    MessageBoxW(nullptr, AText.c_str(), caption.c_str(), MB_OK);
}
