// The process's printer information: a snapshot of the installed printers and the list of printer
// ports, refreshed when the system broadcasts a settings change to the application window, with a
// callback to whoever wants to know. One global object lives from the unit's start to its end.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Classes.h"
#include "WinApi.h"

// A snapshot of the installed printers as EnumPrintersW reports them: level 4 (PRINTER_INFO_4W) on
// NT-family systems (local printers and connections), level 5 (PRINTER_INFO_5W) elsewhere.
class TQdAllPrintersInfo : public TObject {
public:
    KW_CLASS_NAME(TQdAllPrintersInfo)
    // Enumerates now; a failing enumeration raises EOSError.
    TQdAllPrintersInfo();
    // A snapshot made of given records (tests): ABuffer holds ACount records of ALevel.
    TQdAllPrintersInfo(int32_t ALevel, std::vector<uint8_t> ABuffer, int32_t ACount);

    std::wstring GetName(int32_t AIndex) const;
    uint32_t GetAttributes(int32_t AIndex) const;
    // The same number of printers with, in order, the same names (exact) and attributes.
    bool SameAs(const TQdAllPrintersInfo* AOther) const;

    int32_t Level = 4;
    int32_t Count = 0;
    std::vector<uint8_t> Buffer;

private:
    void CheckIndex(int32_t AIndex) const;
};

// Holds the current printer snapshot and port list. It hooks the application window (or, in a
// program without one, a hidden window of its own) and on WM_WININICHANGE takes a new snapshot:
// when the printers changed it replaces the snapshot, forgets the chosen printer and its device
// mode and fires OnPrintersChanged; otherwise it refreshes the ports and fires OnPrintersChanged
// when they changed. The hook never marks a message as handled.
class TQdPrinter : public TObject {
public:
    KW_CLASS_NAME(TQdPrinter)
    TQdPrinter();
    ~TQdPrinter() override;
    TQdPrinter(const TQdPrinter&) = delete;
    TQdPrinter& operator=(const TQdPrinter&) = delete;

    // Ports := the port names of EnumPortsW level 1, each once (case ignored). A failing
    // enumeration raises EOSError.
    void RefreshPorts();
    // The window the hook sits on.
    HWND HookedWindow() const { return FWindow; }

    std::unique_ptr<TQdAllPrintersInfo> Printers;
    std::unique_ptr<TStringList> Ports;
    int32_t PrinterIndex = -1;
    std::vector<uint8_t> DevMode;
    bool DevModeValid = false;
    TNotifyEvent OnPrintersChanged;

private:
    static LRESULT CALLBACK HookProc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam, UINT_PTR AId,
                                     DWORD_PTR AData);
    void SettingsChanged();

    HWND FWindow = nullptr;
    bool FOwnWindow = false;
};

// The global printer object; nullptr before the unit's start-up and after its shut-down.
TQdPrinter* QdPrinter();
// The unit's start-up (creates the global object, after the logger) and shut-down (frees it).
void QdPrinters_Initialize();
void QdPrinters_Finalize();
// Registers both with the unit registry (the program entry calls it).
void QdPrinters_Register();
