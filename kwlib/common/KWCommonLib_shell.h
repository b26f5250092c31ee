// KWCommonLib, shell, windows, messages and system.
#pragma once
#include <cstdint>
#include <string>

#include "WinApi.h"

// ---- Windows and the debug-viewer channel ---------------------------------------------------

// The window that WM_COPYDATA names as its sender: the application window, which the visual layer
// registers here when it creates it (0 until then).
void KWSetApplicationWindow(HWND AWnd);
HWND KWGetApplicationWindow();

// The first top-level window, in z-order, whose window property APropName holds 1.
bool KWFindWindowByProp(const std::wstring& APropName, HWND& AWnd);
// AHandle := AWnd's property "KW_MAIN_WINDOW_HANDLE" (0 when it has none); false only on failure.
bool KWGetMainWindowHandleProp(HWND AWnd, HWND& AHandle);

// How long KWSendCopyData waits for the receiver before giving the text up.
constexpr uint32_t KWCopyDataTimeout = 3000;
// Sends AWnd WM_COPYDATA with dwData AData and AText as UTF-16 with its terminating zero. The send
// is bounded: a receiver that hangs or does not answer within KWCopyDataTimeout ms loses the text.
// True when the receiver took the message; false when AWnd is no window, the send failed or timed out.
bool KWSendCopyData(HWND AWnd, int32_t AData, const std::wstring& AText);

// ---- System ---------------------------------------------------------------------------------

// A debugger is attached to the process.
bool KWIsDebugging();
