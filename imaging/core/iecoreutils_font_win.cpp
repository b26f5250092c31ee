// The shared dialog font over the visual layer's font object.
#include "iecoreutils_font.h"

#include <memory>

#include "Graphics.h"
#include "WinApi.h"
#include "iecoreutils_startup.h"

namespace {

std::unique_ptr<TFont> gDefaultFont;

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM Found) {
    *reinterpret_cast<bool*>(Found) = true;
    return 0;
}

// The screen's font list holds a family of that name.
bool ScreenHasFont(const wchar_t* Name) {
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, Name, LF_FACESIZE);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &wanted, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

}  // namespace

TFont* IEGetDefaultFont() {
    if (gDefaultFont) return gDefaultFont.get();
    auto font = std::make_unique<TFont>();
    font->SetCharset(DEFAULT_CHARSET);
    font->SetColor(clWindowText);
    font->SetStyle(TFontStyles());
    if (IEWindowsVersionIndex >= 7 && ScreenHasFont(L"Segoe UI")) {
        font->SetName(L"Segoe UI");
        font->SetHeight(-12);
    } else {
        font->SetName(L"Tahoma");
        font->SetHeight(-11);
    }
    gDefaultFont = std::move(font);
    return gDefaultFont.get();
}

void IEFreeDefaultFont() {
    gDefaultFont.reset();
}
