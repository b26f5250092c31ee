#include "QdPrinters.h"

#include <commctrl.h>
#include <winspool.h>

#include "KWCommonLib_shell.h"
#include "KWCommonLib_system.h"
#include "UnitInit.h"

namespace {

const wchar_t* const OwnWindowClass = L"TQdPrinterWindow";
constexpr UINT_PTR HookId = 0x5164;   // "Qd"

std::unique_ptr<TQdPrinter> GlobalPrinter;

bool IsNTFamily() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    return GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// A hidden top-level window of our own (top-level, so that broadcasts reach it).
HWND CreateOwnWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = OwnWindowClass;
    RegisterClassW(&wc);   // fails harmlessly when already registered
    return CreateWindowExW(0, OwnWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
}

}  // namespace

// ---- TQdAllPrintersInfo ---------------------------------------------------------------------

TQdAllPrintersInfo::TQdAllPrintersInfo() {
    const bool nt = IsNTFamily();
    Level = nt ? 4 : 5;
    const DWORD flags = nt ? PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS : PRINTER_ENUM_LOCAL;
    DWORD needed = 0, returned = 0;
    EnumPrintersW(flags, nullptr, Level, nullptr, 0, &needed, &returned);
    if (needed == 0) return;
    Buffer.resize(needed);
    if (!EnumPrintersW(flags, nullptr, Level, Buffer.data(), needed, &needed, &returned)) RaiseLastOSError();
    Count = static_cast<int32_t>(returned);
}

TQdAllPrintersInfo::TQdAllPrintersInfo(int32_t ALevel, std::vector<uint8_t> ABuffer, int32_t ACount)
    : Level(ALevel), Count(ACount), Buffer(std::move(ABuffer)) {}

void TQdAllPrintersInfo::CheckIndex(int32_t AIndex) const {
    const size_t record = Level == 4 ? sizeof(PRINTER_INFO_4W) : sizeof(PRINTER_INFO_5W);
    if (AIndex < 0 || AIndex >= Count || (static_cast<size_t>(AIndex) + 1) * record > Buffer.size())
        throw EListError(Format(SListIndexError, AIndex));
}

std::wstring TQdAllPrintersInfo::GetName(int32_t AIndex) const {
    CheckIndex(AIndex);
    const wchar_t* name = Level == 4 ? reinterpret_cast<const PRINTER_INFO_4W*>(Buffer.data())[AIndex].pPrinterName
                                     : reinterpret_cast<const PRINTER_INFO_5W*>(Buffer.data())[AIndex].pPrinterName;
    return name ? name : L"";
}

uint32_t TQdAllPrintersInfo::GetAttributes(int32_t AIndex) const {
    CheckIndex(AIndex);
    return Level == 4 ? reinterpret_cast<const PRINTER_INFO_4W*>(Buffer.data())[AIndex].Attributes
                      : reinterpret_cast<const PRINTER_INFO_5W*>(Buffer.data())[AIndex].Attributes;
}

bool TQdAllPrintersInfo::SameAs(const TQdAllPrintersInfo* AOther) const {
    if (!AOther || AOther->Count != Count) return false;
    for (int32_t i = 0; i < Count; ++i)
        if (GetName(i) != AOther->GetName(i) || GetAttributes(i) != AOther->GetAttributes(i)) return false;
    return true;
}

// ---- TQdPrinter -----------------------------------------------------------------------------

TQdPrinter::TQdPrinter() : Printers(std::make_unique<TQdAllPrintersInfo>()), Ports(std::make_unique<TStringList>()) {
    FWindow = KWGetApplicationWindow();
    if (!FWindow) {
        FWindow = CreateOwnWindow();
        FOwnWindow = FWindow != nullptr;
    }
    if (FWindow) SetWindowSubclass(FWindow, HookProc, HookId, reinterpret_cast<DWORD_PTR>(this));
}

TQdPrinter::~TQdPrinter() {
    if (!FWindow) return;
    RemoveWindowSubclass(FWindow, HookProc, HookId);
    if (FOwnWindow) DestroyWindow(FWindow);
}

void TQdPrinter::RefreshPorts() {
    Ports->Clear();
    DWORD needed = 0, returned = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &returned);
    if (needed == 0) return;
    std::vector<uint8_t> buffer(needed);
    if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &returned)) RaiseLastOSError();
    const PORT_INFO_1W* ports = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) {
        const std::wstring name = ports[i].pName ? ports[i].pName : L"";
        if (Ports->IndexOf(name) < 0) Ports->Add(name);
    }
}

void TQdPrinter::SettingsChanged() {
    auto fresh = std::make_unique<TQdAllPrintersInfo>();
    if (fresh->SameAs(Printers.get())) {
        fresh.reset();
        TStringList before;
        before.Assign(Ports.get());
        RefreshPorts();
        bool changed = before.GetCount() != Ports->GetCount();
        for (int32_t i = 0; !changed && i < Ports->GetCount(); ++i)
            changed = before.GetStrings(i) != Ports->GetStrings(i);
        if (changed && OnPrintersChanged) OnPrintersChanged(this);
        return;
    }
    Printers = std::move(fresh);
    PrinterIndex = -1;
    DevMode.clear();
    DevModeValid = false;
    if (OnPrintersChanged) OnPrintersChanged(this);
}

LRESULT CALLBACK TQdPrinter::HookProc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam, UINT_PTR AId,
                                      DWORD_PTR AData) {
    if (AMsg == WM_WININICHANGE) {
        try {
            reinterpret_cast<TQdPrinter*>(AData)->SettingsChanged();
        } catch (const Exception& e) {
            KWMessageBox(e.Message(), KWGetApplicationWindow(), MB_OK | MB_ICONSTOP);
        } catch (const std::exception& e) {
            KWMessageBox(Utf8ToWide(e.what()), KWGetApplicationWindow(), MB_OK | MB_ICONSTOP);
        }
    }
    return DefSubclassProc(AWnd, AMsg, AWParam, ALParam);
}

// ---- The global object ----------------------------------------------------------------------

TQdPrinter* QdPrinter() { return GlobalPrinter.get(); }

void QdPrinters_Initialize() {
    if (!GlobalPrinter) GlobalPrinter = std::make_unique<TQdPrinter>();
}

void QdPrinters_Finalize() { GlobalPrinter.reset(); }

void QdPrinters_Register() { RegisterUnit(L"QdPrinters", urKWPrinter, QdPrinters_Initialize, QdPrinters_Finalize); }
