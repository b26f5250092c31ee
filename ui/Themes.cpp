#include "Themes.h"

bool TThemeServices::ThemesAvailable() const { return ::IsThemeActive() != FALSE; }

HTHEME TThemeServices::OpenThemeData(HWND wnd, const wchar_t* classList) const {
    if (!ThemesEnabled()) return nullptr;
    return ::OpenThemeData(wnd, classList);
}

void TThemeServices::CloseThemeData(HTHEME theme) const {
    if (theme) ::CloseThemeData(theme);
}

bool TThemeServices::DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT& rect,
                                         const RECT* clip) const {
    return theme && SUCCEEDED(::DrawThemeBackground(theme, dc, part, state, &rect, clip));
}

bool TThemeServices::DrawThemeText(HTHEME theme, HDC dc, int part, int state, const wchar_t* text, int length,
                                   DWORD flags, const RECT& rect) const {
    return theme && SUCCEEDED(::DrawThemeText(theme, dc, part, state, text, length, flags, 0, &rect));
}

bool TThemeServices::IsThemeBackgroundPartiallyTransparent(HTHEME theme, int part, int state) const {
    return theme && ::IsThemeBackgroundPartiallyTransparent(theme, part, state);
}

bool TThemeServices::DrawParentBackground(HWND wnd, HDC dc, const RECT* rect) const {
    if (!ThemesEnabled()) return false;
    return SUCCEEDED(::DrawThemeParentBackground(wnd, dc, const_cast<RECT*>(rect)));
}

TThemeServices* ThemeServices() {
    static TThemeServices services;
    return &services;
}
