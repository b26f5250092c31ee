#include "KWCommonLib_system.h"

#include "WinApi.h"

#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "KWCommonClass.h"
#include "KWCommonLib_files.h"
#include "KWCommonLib_strings.h"
#include "KWGdiObjects.h"
#include "SysUtils.h"
#include "UnitInit.h"

int32_t KWDefaultProcessMessagesCount = 0;

namespace {

TKWApplicationHooks AppHooks;
TKWMessageBoxHook MessageBoxHook;

// The program's own file name, whatever its length.
std::wstring OwnFileName() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &buf[0], static_cast<DWORD>(buf.size()));
        if (n == 0) return L"";
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);
    }
}

// The folder part of a path, with its trailing "\" (or ":" for "C:name").
std::wstring ExtractFolder(const std::wstring& APath) {
    const size_t p = APath.find_last_of(L"\\:");
    return p == std::wstring::npos ? std::wstring() : APath.substr(0, p + 1);
}

std::wstring ExtractName(const std::wstring& APath) { return APath.substr(ExtractFolder(APath).size()); }

// Unicode-aware lower case (the names compared here may hold any character).
std::wstring LowerText(std::wstring AText) {
    if (!AText.empty()) CharLowerBuffW(&AText[0], static_cast<DWORD>(AText.size()));
    return AText;
}

// COM on this thread for the duration of one call; a thread that already has it keeps it.
class TComScope {
public:
    TComScope() : FResult(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~TComScope() {
        if (SUCCEEDED(FResult)) CoUninitialize();
    }
    TComScope(const TComScope&) = delete;
    TComScope& operator=(const TComScope&) = delete;

private:
    HRESULT FResult;
};

// Holds one interface reference and releases it.
template <class T>
class TComRef {
public:
    TComRef() = default;
    ~TComRef() {
        if (FPtr) FPtr->Release();
    }
    TComRef(const TComRef&) = delete;
    TComRef& operator=(const TComRef&) = delete;
    T* operator->() const { return FPtr; }
    T* Get() const { return FPtr; }
    void** Out() { return reinterpret_cast<void**>(&FPtr); }

private:
    T* FPtr = nullptr;
};

// A shell link object with its IPersistFile face; both null when COM cannot supply them.
struct TShellLink {
    TComRef<IShellLinkW> Link;
    TComRef<IPersistFile> File;
    bool Open() {
        return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                          Link.Out())) &&
               SUCCEEDED(Link->QueryInterface(IID_IPersistFile, File.Out()));
    }
};

}  // namespace

// ---- The application object -----------------------------------------------------------------

void KWSetApplicationHooks(const TKWApplicationHooks& AHooks) { AppHooks = AHooks; }

std::wstring KWGetApplicationTitle() {
    if (AppHooks.Title) return AppHooks.Title();
    return KWRemoveFileExt(ExtractName(OwnFileName()));
}

// ---- Shortcuts ------------------------------------------------------------------------------

void KWCreateShortcut(const std::wstring& ATarget, const std::wstring& AArguments,
                      const std::wstring& ALinkName, const std::wstring& AFolder, int32_t AIconIndex) {
    TComScope com;
    TShellLink sl;
    if (!sl.Open()) return;
    const std::wstring linkFile = KWIncludeTrailingPathDelimiter(AFolder) +
                                  (ALinkName.empty() ? ExtractName(ATarget) + L"へのショートカット" : ALinkName) +
                                  L".lnk";
    sl.Link->SetPath(ATarget.c_str());
    sl.Link->SetArguments(AArguments.c_str());
    sl.Link->SetWorkingDirectory(ExtractFolder(ATarget).c_str());
    sl.Link->SetDescription(L"");
    sl.Link->SetIconLocation(ATarget.c_str(), std::max(AIconIndex, 0));
    sl.File->Save(linkFile.c_str(), TRUE);
}

std::wstring KWGetShortcutTarget(const std::wstring& ALinkFile) {
    TComScope com;
    TShellLink sl;
    if (!sl.Open()) return L"";
    // The name goes to the shell as it is: a name outside the ANSI code page must be found too.
    if (FAILED(sl.File->Load(ALinkFile.c_str(), STGM_READ))) return L"";
    wchar_t buf[MAX_PATH + 1] = {};
    if (FAILED(sl.Link->GetPath(buf, MAX_PATH, nullptr, SLGP_RAWPATH))) return L"";
    return buf;
}

std::wstring KWFindShortcutTo(const std::wstring& ATarget, const std::wstring& AFolder) {
    const std::wstring target = LowerText(ATarget);
    const std::wstring folder = KWIncludeTrailingPathDelimiter(AFolder);
    TKWSearchRec rec;
    if (KWSafeFindFirst(folder + L"*", kwfaArchive, rec) != 0) return L"";
    std::wstring found;
    do {
        const std::wstring name = LowerText(rec.Name);
        if (name == L"." || name == L"..") continue;
        if (LowerText(KWGetShortcutTarget(folder + name)) == target) {
            found = folder + name;
            break;
        }
    } while (KWSafeFindNext(rec) == 0);
    KWFindClose(rec);
    return found;
}

void KWDeleteShortcutTo(const std::wstring& ATarget, const std::wstring& AFolder) {
    const std::wstring file = KWFindShortcutTo(ATarget, AFolder);
    if (!file.empty()) KWDeleteFile(file);
}

// ---- Operating system -----------------------------------------------------------------------

std::wstring KWGetOSNameOf(const OSVERSIONINFOW& AInfo) {
    if (AInfo.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (AInfo.dwMajorVersion == 4 && AInfo.dwMinorVersion == 0) return L"Win95";
        if (AInfo.dwMajorVersion == 4 && AInfo.dwMinorVersion == 10)
            return AInfo.szCSDVersion[0] != L'\0' && AInfo.szCSDVersion[1] == L'A' ? L"Win98SE" : L"Win98";
        if (AInfo.dwMajorVersion == 4 && AInfo.dwMinorVersion == 90) return L"WinME";
        return L"Unknown";
    }
    if (AInfo.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (AInfo.dwMajorVersion <= 4) return L"WinNT";
        if (AInfo.dwMajorVersion == 5 && AInfo.dwMinorVersion == 0) return L"Win2000";
        if (AInfo.dwMajorVersion == 5 && AInfo.dwMinorVersion == 1) return L"WinXP";
        return L"WinXPHigher";
    }
    return L"Unknown";
}

std::wstring KWGetOSName() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info)) return L"Unknown";
    return KWGetOSNameOf(info);
}

bool KWIsWin2000OrLater() {
    const std::wstring os = KWGetOSName();
    return os == L"Win2000" || os == L"WinXP" || os == L"WinXPHigher";
}

bool KWIsWinXPOrLater() {
    const std::wstring os = KWGetOSName();
    return os == L"WinXP" || os == L"WinXPHigher";
}

bool KWIsLaterThanWinXP() { return KWGetOSName() == L"WinXPHigher"; }

// ---- Shell and message boxes ----------------------------------------------------------------

bool KWShellExecute(HWND AWnd, const std::wstring& AFileName, const std::wstring& AParams,
                    const std::wstring& ADirectory, int32_t AShowCmd, bool ARunAsAdmin) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_FLAG_DDEWAIT;
    info.hwnd = AWnd;
    info.lpVerb = ARunAsAdmin && KWIsLaterThanWinXP() ? L"runas" : L"open";
    info.lpFile = AFileName.c_str();
    info.lpParameters = AParams.empty() ? nullptr : AParams.c_str();
    info.lpDirectory = ADirectory.empty() ? nullptr : ADirectory.c_str();
    info.nShow = AShowCmd;
    return ShellExecuteExW(&info) != FALSE;
}

TKWMessageBoxHook KWSetMessageBoxHook(TKWMessageBoxHook AHook) {
    std::swap(MessageBoxHook, AHook);
    return AHook;
}

int32_t KWMessageBox(const std::wstring& AText, HWND AOwner, int32_t AType) {
    const std::wstring caption = KWGetApplicationTitle();
    if (!AOwner) {
        // The simple message dialog: OK only, whatever AType asks for.
        if (MessageBoxHook)
            MessageBoxHook(AText, caption, MB_OK, nullptr);
        else {
            const HWND app = KWGetApplicationWindow();
            MessageBoxW(app, AText.c_str(), caption.c_str(), MB_OK | (app ? 0 : MB_TASKMODAL));
        }
        return IDOK;
    }
    if (MessageBoxHook) return MessageBoxHook(AText, caption, AType, AOwner);
    return MessageBoxW(AOwner, AText.c_str(), caption.c_str(), static_cast<UINT>(AType));
}

void KWShowMessage(const std::wstring& AText, HWND AOwner) { KWMessageBox(AText, AOwner, MB_OK); }

// ---- Message pump ---------------------------------------------------------------------------

bool KWProcessOneMessage() {
    MSG msg;
    return KWHandleOneMessage(msg);
}

void KWProcessMessages(int32_t ACount) {
    try {
        if (ACount < 0) ACount = KWDefaultProcessMessagesCount;
        if (ACount == 0) {
            if (AppHooks.ProcessMessages)
                AppHooks.ProcessMessages();
            else
                while (KWProcessOneMessage()) {
                }
            return;
        }
        for (int32_t i = 0; i < ACount; ++i)
            if (!KWProcessOneMessage()) break;
    } catch (...) {
    }
}

// ---- File versions --------------------------------------------------------------------------

void KWGetFileVersion(const std::wstring& AFileName, std::wstring& AVersion) {
    AVersion.clear();
    if (!KWFileExists(AFileName)) return;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(AFileName.c_str(), &handle);
    if (size == 0) return;
    std::vector<uint8_t> info(size);
    if (!GetFileVersionInfoW(AFileName.c_str(), 0, size, info.data())) return;
    void* p = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &p, &len) || !p || len < 4) return;
    const WORD* translation = static_cast<const WORD*>(p);
    const std::wstring sub =
        L"\\StringFileInfo\\" + IntToHex(translation[0], 4) + IntToHex(translation[1], 4) + L"\\FileVersion";
    if (!VerQueryValueW(info.data(), sub.c_str(), &p, &len) || !p || len == 0) return;
    const wchar_t* text = static_cast<const wchar_t*>(p);
    std::wstring version(text, std::min<size_t>(len, 256));
    version = version.substr(0, version.find(L'\0'));
    std::replace(version.begin(), version.end(), L',', L'.');
    version.erase(std::remove(version.begin(), version.end(), L' '), version.end());
    AVersion = KWTrim(version);
}

void KWGetOwnFileVersion(std::wstring& AVersion) { KWGetFileVersion(OwnFileName(), AVersion); }

void KWSplitVersion(std::wstring& AVersion, std::wstring& ABuild, const std::wstring& AFileName) {
    std::wstring version;
    KWGetFileVersion(KWFileExists(AFileName) ? AFileName : OwnFileName(), version);
    const size_t dot = version.rfind(L'.');
    if (dot == std::wstring::npos) {
        AVersion.clear();
        ABuild = version;
    } else {
        AVersion = version.substr(0, dot);
        ABuild = version.substr(dot + 1);
    }
}

// ---- Text measurement -----------------------------------------------------------------------

void KWGetTextExtent(const std::wstring& AText, HFONT AFont, bool AVertical, SIZE& ASize) {
    TKWLineExtents lines;
    KWGetTextExtentLines(AText, AFont, AVertical, lines, ASize);
}

void KWGetTextExtentLines(const std::wstring& AText, HFONT AFont, bool AVertical, TKWLineExtents& ALines,
                          SIZE& ASize) {
    ASize = SIZE{0, 0};
    if (AText.empty()) return;
    if (!AVertical) {
        TMemoryDC dc;
        TSelect font(dc.Handle(), AFont);
        RECT r = {0, 0, 0, 0};
        DrawTextW(dc.Handle(), AText.c_str(), static_cast<int>(AText.size()), &r, DT_CALCRECT);
        ASize = SIZE{r.right - r.left, r.bottom - r.top};
        return;
    }
    TKWStringArray lines;
    KWSplit(KWNormalizeLineBreaks(AText, L"\r\n"), L"\r\n", lines, true);
    KWReverseStrings(lines);
    ALines.clear();
    for (const std::wstring& line : lines) {
        SIZE s;
        KWGetRotatedTextExtent(line, AFont, true, s);
        ASize.cx += s.cx;
        ASize.cy += s.cy;
        TKWLineExtent e;
        e.Text = line;
        e.Width = s.cx;
        e.Height = s.cy;
        ALines.push_back(e);
    }
}

void KWGetRotatedTextExtent(const std::wstring& AText, HFONT AFont, bool ARotate, SIZE& ASize) {
    ASize = SIZE{0, 0};
    if (AText.empty()) return;
    SIZE plain;
    KWGetTextExtent(AText, AFont, false, plain);
    if (plain.cx == 0 || plain.cy == 0) return;
    ASize = plain;
    if (!ARotate) return;
    ASize = SIZE{plain.cy, plain.cx};

    LOGFONTW lf = {};
    if (!GetObjectW(AFont, sizeof(lf), &lf)) return;
    lf.lfEscapement = -900;
    lf.lfOrientation = -900;
    if (!wcschr(lf.lfFaceName, L'@')) {
        const std::wstring face = (L"@" + std::wstring(lf.lfFaceName)).substr(0, LF_FACESIZE - 1);
        wcscpy(lf.lfFaceName, face.c_str());
    }
    TGdiObject<HFONT> rotated(CreateFontIndirectW(&lf));
    if (!rotated.Get()) return;

    // Black text on a white 24-bit bitmap of 2h x 2w pixels, rows top-down.
    const int width = 2 * plain.cy, height = 2 * plain.cx;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    TMemoryDC dc;
    TGdiObject<HBITMAP> bmp(CreateDIBSection(dc.Handle(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bmp.Get() || !bits) return;
    const int stride = (width * 3 + 3) & ~3;
    uint8_t* pixels = static_cast<uint8_t*>(bits);
    std::fill(pixels, pixels + static_cast<size_t>(stride) * height, uint8_t(0xFF));
    {
        TSelect selBmp(dc.Handle(), bmp.Get());
        TSelect selFont(dc.Handle(), rotated.Get());
        SetTextColor(dc.Handle(), RGB(0, 0, 0));
        SetBkMode(dc.Handle(), TRANSPARENT);
        SetTextAlign(dc.Handle(), TA_BOTTOM);
        TextOutW(dc.Handle(), 0, 0, AText.c_str(), static_cast<int>(AText.size()));
        GdiFlush();
    }
    // The rightmost ink of any row gives the width, the lowest row with ink the height.
    int inkWidth = 0, inkHeight = 0;
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * stride;
        for (int x = width - 1; x >= 0; --x) {
            const uint8_t* px = row + x * 3;
            if (px[0] != 0xFF || px[1] != 0xFF || px[2] != 0xFF) {
                inkWidth = std::max(inkWidth, x + 1);
                inkHeight = std::max(inkHeight, y + 1);
                break;
            }
        }
    }
    if (inkWidth > 0 && inkHeight > 0) ASize = SIZE{inkWidth, inkHeight};
}

// ---- Unit start-up --------------------------------------------------------------------------

void KWCommonLib_Initialize() {
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    std::srand(static_cast<unsigned>(counter.LowPart));
    KWDefaultProcessMessagesCount = 0;
    KWSetLastError(-1, -1);
}

void KWCommonLib_Register() { RegisterUnit(L"KWCommonLib", urKWTempNames, KWCommonLib_Initialize, nullptr); }
