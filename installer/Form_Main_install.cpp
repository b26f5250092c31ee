// The install step behind the confirmation page and the finish actions.
//
// The extraction of the payload is not part of this program yet. Rather than walk on to the page
// that says the installation is complete, the step reports the failure that the extraction would
// report and ends the process: nothing has been installed, and the wizard must not claim otherwise.
#include "Form_Main.h"

#include "KWCommonLib.h"

void TFormMain::Install() {
    pbarTotal->SetPosition(0);
    KWProcessMessages();
    Fatal(L"インストールに失敗しました。\r\n"
          L"インストール先のサイズが少ないか、書き込みできない可能性があります。\r\n"
          L"インストールを完了するには、もう一度インストール作業を行ってください。");
}

// Nothing was installed, so there is nothing to link to or start.
void TFormMain::FinishInstall() {}
