#include "CommonInstaller_startup.h"

#include <memory>

#include "CRC32.h"
#include "CommonConst.h"
#include "IndividualMutex.h"
#include "KWCommonLib.h"
#include "KWFileDialog.h"
#include "KWLogger.h"
#include "QdPrinters.h"
#include "UnitInit.h"
#include "ZFConst.h"
#include "iecoreutils_startup.h"
#include "iestartup.h"

void TKWApplicationAdapter::DoOnMessage(MSG& AMsg, bool& AHandled) {
    if (FApplication->OnMessage) FApplication->OnMessage(AMsg, AHandled);
}

void InstallerConnectApplication() {
    static std::unique_ptr<TKWApplicationAdapter> adapter;
    adapter = std::make_unique<TKWApplicationAdapter>(Application);
    KWSetApplicationWindow(Application->Handle());
    KWSetApplication(adapter.get());
    TKWApplicationHooks hooks;
    hooks.Title = [] { return Application->Title(); };
    hooks.ProcessMessages = [] { Application->ProcessMessages(); };
    KWSetApplicationHooks(hooks);
}

void InstallerRegisterUnits() {
    ZFRegisterEngineUnit();
    CRC32_Register();
    KWCommonLib_Register();
    KWLogger_Register();
    QdPrinters_Register();
    CommonConst_Register();
    iecoreutils_Register();
    RegisterUnit(L"KWFileDialog", urFolderBrowse, KWFileDialog_Initialize, KWFileDialog_Finalize);
    IndividualMutex_Register();
}
