// lumivera_Quillbox.exe of the demo payload: a stand-in for the installed application. It shows
// one window saying what it is and where it was installed, and closes on a click or a key.
#include <string>

#include "WinApi.h"

namespace {

std::wstring FolderLine() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder.erase(folder.find_last_of(L'\\') + 1);
    return L"インストール先： " + folder;
}

LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        RECT r;
        GetClientRect(wnd, &r);
        HBRUSH band = CreateSolidBrush(RGB(0x1E, 0x6F, 0x78));
        RECT top = r;
        top.bottom = 56;
        FillRect(dc, &top, band);
        DeleteObject(band);
        SetBkMode(dc, TRANSPARENT);
        HFONT font = CreateFontW(-22, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
        HGDIOBJ old = SelectObject(dc, font);
        SetTextColor(dc, RGB(255, 255, 255));
        RECT title{16, 14, r.right - 16, 50};
        DrawTextW(dc, L"ルミヴェラクイルボックス", -1, &title, DT_SINGLELINE | DT_VCENTER);
        SelectObject(dc, old);
        DeleteObject(font);
        font = CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
        old = SelectObject(dc, font);
        SetTextColor(dc, RGB(0x20, 0x20, 0x20));
        const std::wstring text = L"これはインストーラのデモ用のサンプルプログラムです。\r\n" + FolderLine() +
                                  L"\r\n\r\nクリックすると終了します。";
        RECT body{16, 72, r.right - 16, r.bottom - 16};
        DrawTextW(dc, text.c_str(), -1, &body, DT_WORDBREAK);
        SelectObject(dc, old);
        DeleteObject(font);
        EndPaint(wnd, &ps);
        return 0;
    }
    case WM_LBUTTONUP:
    case WM_KEYDOWN: DestroyWindow(wnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(wnd, msg, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = L"LumiveraQuillboxSample";
    RegisterClassW(&wc);
    HWND wnd = CreateWindowExW(0, wc.lpszClassName, L"lumi-vera Quillbox", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, 480, 240, nullptr, nullptr, instance, nullptr);
    ShowWindow(wnd, show);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
