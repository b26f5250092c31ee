// The program's start-up wiring: the units it registers, in the order they must start, and the
// connection of the visual layer's application object to the in-house library (its window for
// the debug-viewer channel and the printer hook, its title for message boxes, its message loop
// for the pump).
#pragma once
#include "Forms.h"
#include "KWCommonClass.h"

// The in-house library's view of a TApplication: one step of its message loop.
class TKWApplicationAdapter final : public IKWApplication {
public:
    explicit TKWApplicationAdapter(TApplication* AApplication) : FApplication(AApplication) {}
    void DoOnMessage(MSG& AMsg, bool& AHandled) override;
    bool IsPreProcessMessage(MSG& AMsg) override { return FApplication->IsPreProcessMessage(AMsg); }
    bool IsHintMsg(MSG& AMsg) override { return FApplication->IsHintMsg(AMsg); }
    bool IsMDIMsg(MSG& AMsg) override { return FApplication->IsMDIMsg(AMsg); }
    bool IsKeyMsg(MSG& AMsg) override { return FApplication->IsKeyMsg(AMsg); }
    bool IsDlgMsg(MSG& AMsg) override { return FApplication->IsDlgMsg(AMsg); }

private:
    TApplication* FApplication;
};

// Hands the application object (Application) to the in-house library. Runs before the units
// start: the printer unit hooks the window registered here.
void InstallerConnectApplication();
// Registers every unit of the program with the unit registry, in start-up order: the ZIP engine,
// the in-house library (CRC-32, base unit, logger, printers), the installer's constants, the image
// library's start-up, the folder-browse unit and, last, the single-instance guard.
void InstallerRegisterUnits();
