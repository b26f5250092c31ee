// The clipboard: opened with retries (another program may hold it for a moment), nested opens
// counted, text and any registered format as bytes in global memory.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "WinApi.h"

class TClipboard {
public:
    // Opens the clipboard (owner: no window) unless this object holds it already: up to 10 tries
    // 20 ms apart. False when another program kept it locked all along. Nested opens count.
    bool Open();
    // Ends one Open; the last one closes the clipboard.
    void Close();
    bool IsOpen() const { return FOpenCount > 0; }
    // Empties the clipboard (opening it for the call when needed). False when it cannot be opened.
    bool Clear();
    bool HasFormat(UINT AFormat) const;

    // Places a copy of the bytes under AFormat (the clipboard stays as it was for other formats;
    // call Clear first to replace everything). False when the clipboard or memory could not be had.
    bool SetBuffer(UINT AFormat, const void* AData, size_t ASize);
    // The bytes under AFormat; empty when there are none or the clipboard cannot be opened.
    std::vector<uint8_t> GetBuffer(UINT AFormat);

    // Text as Unicode (CF_UNICODETEXT; the system supplies CF_TEXT in the ANSI code page from it).
    std::wstring AsText();
    bool SetAsText(const std::wstring& AText);

    // A handle in the clipboard's ownership from now on (SetClipboardData); false when refused.
    bool SetAsHandle(UINT AFormat, HANDLE AHandle);
    // The handle under AFormat (owned by the clipboard; valid while it is open).
    HANDLE GetAsHandle(UINT AFormat);

    // Attempts and pause of Open (tests shorten the pause).
    int32_t OpenAttempts = 10;
    uint32_t OpenRetryMs = 20;

private:
    int32_t FOpenCount = 0;
};

// The program's clipboard object.
TClipboard* Clipboard();

// A format registered under a name (RegisterClipboardFormat); 0 when refused.
UINT RegisterClipboardFormatName(const std::wstring& AName);
