#include "Clipbrd.h"

#include <cstring>

namespace {

// Opens for the length of one call when the caller has not opened it.
class TClipboardScope {
public:
    explicit TClipboardScope(TClipboard* AClipboard) : FClipboard(AClipboard), FOpen(AClipboard->Open()) {}
    ~TClipboardScope() {
        if (FOpen) FClipboard->Close();
    }
    bool IsOpen() const { return FOpen; }

private:
    TClipboard* FClipboard;
    bool FOpen;
};

}  // namespace

bool TClipboard::Open() {
    if (FOpenCount > 0) {
        ++FOpenCount;
        return true;
    }
    for (int32_t attempt = 0; attempt < OpenAttempts; ++attempt) {
        if (OpenClipboard(nullptr)) {
            FOpenCount = 1;
            return true;
        }
        if (attempt + 1 < OpenAttempts) Sleep(OpenRetryMs);
    }
    return false;
}

void TClipboard::Close() {
    if (FOpenCount == 0) return;
    if (--FOpenCount == 0) CloseClipboard();
}

bool TClipboard::Clear() {
    TClipboardScope scope(this);
    return scope.IsOpen() && EmptyClipboard();
}

bool TClipboard::HasFormat(UINT AFormat) const { return IsClipboardFormatAvailable(AFormat) != 0; }

bool TClipboard::SetBuffer(UINT AFormat, const void* AData, size_t ASize) {
    TClipboardScope scope(this);
    if (!scope.IsOpen()) return false;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, ASize ? ASize : 1);
    if (!memory) return false;
    if (void* p = GlobalLock(memory)) {
        if (ASize) std::memcpy(p, AData, ASize);
        GlobalUnlock(memory);
    }
    if (!SetClipboardData(AFormat, memory)) {
        GlobalFree(memory);
        return false;
    }
    return true;
}

std::vector<uint8_t> TClipboard::GetBuffer(UINT AFormat) {
    std::vector<uint8_t> bytes;
    TClipboardScope scope(this);
    if (!scope.IsOpen()) return bytes;
    HANDLE h = GetClipboardData(AFormat);
    if (!h) return bytes;
    const size_t size = GlobalSize(h);
    if (const void* p = GlobalLock(h)) {
        bytes.assign(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + size);
        GlobalUnlock(h);
    }
    return bytes;
}

std::wstring TClipboard::AsText() {
    const std::vector<uint8_t> bytes = GetBuffer(CF_UNICODETEXT);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    const size_t end = text.find(L'\0');   // the block may be larger than the text
    if (end != std::wstring::npos) text.resize(end);
    return text;
}

bool TClipboard::SetAsText(const std::wstring& AText) {
    TClipboardScope scope(this);
    if (!scope.IsOpen() || !EmptyClipboard()) return false;
    return SetBuffer(CF_UNICODETEXT, AText.c_str(), (AText.size() + 1) * sizeof(wchar_t));
}

bool TClipboard::SetAsHandle(UINT AFormat, HANDLE AHandle) {
    TClipboardScope scope(this);
    return scope.IsOpen() && SetClipboardData(AFormat, AHandle) != nullptr;
}

HANDLE TClipboard::GetAsHandle(UINT AFormat) {
    TClipboardScope scope(this);
    return scope.IsOpen() ? GetClipboardData(AFormat) : nullptr;
}

TClipboard* Clipboard() {
    static TClipboard clipboard;
    return &clipboard;
}

UINT RegisterClipboardFormatName(const std::wstring& AName) { return RegisterClipboardFormatW(AName.c_str()); }
