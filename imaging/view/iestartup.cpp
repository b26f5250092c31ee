#include "iestartup.h"

#include "SyncObjs.h"
#include "UnitInit.h"
#include "iecoredefs_startup.h"
#include "iecoreutils_startup.h"
#include "iegdiplus.h"
#include "iej2000.h"
#include "iepresetim.h"
#include "iesight.h"
#include "ietextc.h"
#include "ievect.h"
#include "picturaio.h"
#include "picturaproc.h"
#include "picturaproc_hooks.h"
#include "picturaview.h"
#include "tifccitt.h"

std::string IEStaticInitGuard;
int32_t IEStaticInitCount = 0;
IEStartupStepHook IEStartupTrace = nullptr;

namespace {

const char* const kGuard = "STATICINIT";

// The start-up lock. It lives as long as the program: callers that race on the first start
// must find one lock, which a lock made by the first of them cannot promise.
TCriticalSection& StartupLock() {
    static TCriticalSection lock;
    return lock;
}

struct TStep {
    const char* Name;
    void (*Run)();
};

// The set-up steps in the order they run.
const TStep kSetupSteps[] = {
    {"IEGdiPlusInitialize", IEGdiPlusInitialize},
    {"IECoreDefsInitialize", IECoreDefsInitialize},
    {"IECoreUtilsInitialize", IECoreUtilsInitialize},
    {"IEInitializeJ2000", IEInitializeJ2000},
    {"IEVectInitialize", IEVectInitialize},
    {"IEInitializePicturaIO", IEInitializePicturaIO},
    {"IEInitializePicturaProc", IEInitializePicturaProc},
    {"IEPicturaViewInitialize", IEPicturaViewInitialize},
    {"IEInitializeCCITT", IEInitializeCCITT},
    {"IETextControlInitialize", IETextControlInitialize},
    {"IEInitializePresetImages", IEInitializePresetImages},
    {"IESightLoad", IESightLoad},
};

// The tear-down steps in the order they run: the reverse of the set-up, except that the plug-in
// goes last.
const TStep kTeardownSteps[] = {
    {"IEFinalizePresetImages", IEFinalizePresetImages},
    {"IETextControlFinalize", IETextControlFinalize},
    {"IEFinalizeCCITT", IEFinalizeCCITT},
    {"IEPicturaViewFinalize", IEPicturaViewFinalize},
    {"IEFinalizePicturaProc", IEFinalizePicturaProc},
    {"IEFinalizePicturaIO", IEFinalizePicturaIO},
    {"IEVectFinalize", IEVectFinalize},
    {"IEFinalizeJ2000", IEFinalizeJ2000},
    {"IECoreUtilsFinalize", IECoreUtilsFinalize},
    {"IECoreDefsFinalize", IECoreDefsFinalize},
    {"IEGdiPlusFinalize", IEGdiPlusFinalize},
    {"IESightUnload", IESightUnload},
};

template <size_t N>
void RunSteps(const TStep (&Steps)[N]) {
    for (const TStep& step : Steps) {
        if (IEStartupTrace) IEStartupTrace(step.Name);
        step.Run();
    }
}

}  // namespace

void IEStaticInitialize() {
    TCriticalSectionGuard guard(StartupLock());
    if (IEStaticInitGuard != kGuard) {
        IEStaticInitGuard = kGuard;
        IEStaticInitCount = 0;
    }
    if (IEStaticInitCount == 0) {
        // The lower folders reach the processing routines through procedure variables; they are
        // in place before any step runs.
        IEInstallPicturaProcHooks();
        RunSteps(kSetupSteps);
    }
    ++IEStaticInitCount;
}

void IEStaticFinalize() {
    TCriticalSectionGuard guard(StartupLock());
    if (IEStaticInitGuard != kGuard) return;   // never started
    if (--IEStaticInitCount > 0) return;
    RunSteps(kTeardownSteps);
    IEStaticInitGuard.clear();
}

void iecoreutils_Register() {
    RegisterUnit(L"iecoreutils", urImageLibrary, IEStaticInitialize, IEStaticFinalize);
}
