// The program entry of the installer and uninstaller: unit start-up, the application object, the
// wizard form and its start-up, then the message loop until the wizard ends the process.
#include "CommonInstaller_startup.h"
#include "Form_Main.h"
#include "Forms.h"
#include "UnitInit.h"
#include "WinApi.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    InstallerConnectApplication();
    InstallerRegisterUnits();
    InitializeUnits();

    Application->Initialize();
    Application->SetTitle(L"lumi-vera Quillbox Installer");
    Application->CreateForm(FormMain);
    try {
        FormMain->Start();
    } catch (...) {
        // Only a built program without its licence resource gets here.
        Application->HandleException(Application);
        Halt(1);
    }
    Application->Run();
    Halt(0);
}
