// Visual themes: one switch that says whether controls draw themed, and thin wrappers over the
// theme library (uxtheme) that the controls call. With the switch off, or without an active
// theme, every control takes its classic path; windows made meanwhile are kept unthemed too.
#pragma once
#include "WinApi.h"

#include <uxtheme.h>
#include <vssym32.h>

class TThemeServices {
public:
    // A theme is active for the application (the system's state).
    bool ThemesAvailable() const;
    // Available and not switched off: controls draw themed.
    bool ThemesEnabled() const { return FEnabled && ThemesAvailable(); }
    // The switch (on by default). Turning it off makes every later drawing classic; windows made
    // while it is off are also kept out of the system's own theming.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }

    // Theme data of a class ("BUTTON", "TAB", ...) for a window, or nullptr when themes are off.
    HTHEME OpenThemeData(HWND wnd, const wchar_t* classList) const;
    void CloseThemeData(HTHEME theme) const;
    bool DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT& rect, const RECT* clip = nullptr) const;
    bool DrawThemeText(HTHEME theme, HDC dc, int part, int state, const wchar_t* text, int length, DWORD flags,
                       const RECT& rect) const;
    bool IsThemeBackgroundPartiallyTransparent(HTHEME theme, int part, int state) const;
    // Has the parent paint its background (and content) into the window's context.
    bool DrawParentBackground(HWND wnd, HDC dc, const RECT* rect) const;

private:
    bool FEnabled = true;
};

TThemeServices* ThemeServices();
