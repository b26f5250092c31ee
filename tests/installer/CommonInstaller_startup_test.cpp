// The program's start-up wiring: the units start in the order the installer needs them, the
// guard last, and the in-house library sees the application object.
#include <gtest/gtest.h>

#include "CommonConst.h"
#include "CommonInstaller_startup.h"
#include "IndividualMutex.h"
#include "KWCommonLib.h"
#include "QdPrinters.h"
#include "UnitInit.h"
#include "iecoreutils_startup.h"
#include "iestartup.h"

TEST(InstallerStartup, UnitsStartInOrderAndTheLibrarySeesTheApplication) {
    InstallerConnectApplication();
    EXPECT_EQ(KWGetApplicationWindow(), Application->Handle());
    EXPECT_NE(KWGetApplication(), nullptr);
    Application->SetTitle(L"lumi-vera Quillbox Installer");
    EXPECT_EQ(KWGetApplicationTitle(), L"lumi-vera Quillbox Installer");

    InstallerRegisterUnits();
    InitializeUnits();
    EXPECT_EQ(StartedUnits(),
              L"ZipEngine,CRC32,KWCommonLib,KWLogger,QdPrinters,CommonConst,iecoreutils,KWFileDialog,IndividualMutex");
    // The printer object hooks the application window; the guard marks it.
    ASSERT_NE(QdPrinter(), nullptr);
    EXPECT_EQ(QdPrinter()->HookedWindow(), Application->Handle());
    EXPECT_EQ((INT_PTR)GetPropW(Application->Handle(), IndividualMutexName), 1);
    EXPECT_FALSE(CommonEditionDir.empty());
    // The image library started once, between the constants and the folder-browse unit.
    EXPECT_EQ(IEStaticInitGuard, "STATICINIT");
    EXPECT_EQ(IEStaticInitCount, 1);

    FinalizeUnits();
    EXPECT_EQ(StartedUnits(), L"");
    EXPECT_EQ(GetPropW(Application->Handle(), IndividualMutexName), nullptr);
    EXPECT_EQ(QdPrinter(), nullptr);
    EXPECT_EQ(IEStaticInitCount, 0);
    EXPECT_EQ(IEStaticInitGuard, "");
}
