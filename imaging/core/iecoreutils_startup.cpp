#include "iecoreutils_startup.h"

#include <cmath>

#include "SyncObjs.h"
#include "SysUtils.h"
#include "UnitInit.h"
#include "iecoredefs_startup.h"
#include "iecoreutils_font.h"
#include "iecoreutils_platform.h"
#include "iecoreutils_threads.h"
#include "iegdiplus.h"
#include "iej2000.h"
#include "iepresetim.h"
#include "iesight.h"
#include "ietextc.h"
#include "ievect.h"
#include "iewords.h"
#include "picturaio.h"
#include "picturaproc.h"
#include "picturaview.h"
#include "tifccitt.h"

std::string IEStaticInitGuard;
int32_t IEStaticInitCount = 0;
IEStartupStepHook IEStartupTrace = nullptr;

uint8_t IEWindowsVersionIndex = 9;
bool IEIsWinNT = true;
TResampleFilter IEPreviewsZoomFilter = rfFastLinear;
int64_t IEDefaultMinFileSize = -1;
bool IEAllowFileFallback = true;
bool IEAllowSegments = true;
int64_t IEMaxImagePixels = (int64_t)1 << 28;
void* IEColorManagementModule = nullptr;
int32_t IECosineTable[256];

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
    if (IEStaticInitCount == 0) RunSteps(kSetupSteps);
    ++IEStaticInitCount;
}

void IEStaticFinalize() {
    TCriticalSectionGuard guard(StartupLock());
    if (IEStaticInitGuard != kGuard) return;   // never started
    if (--IEStaticInitCount > 0) return;
    RunSteps(kTeardownSteps);
    IEStaticInitGuard.clear();
}

bool IEImageSizeAllowed(int64_t Width, int64_t Height) {
    if (Width < 0 || Height < 0) return false;
    if (IEMaxImagePixels <= 0 || Width == 0 || Height == 0) return true;
    // Width x Height > limit without forming a product that could overflow.
    return Width <= IEMaxImagePixels / Height;
}

void IECoreUtilsInitialize() {
    IECachedCoreCount = -1;
    IEWindowsVersionIndex = IEGetWindowsVersionIndex();
    IEIsWinNT = IEWindowsVersionIndex > 2;
    IEPreviewsZoomFilter = rfFastLinear;
    IEInitWords();
    IEFreeDefaultFont();   // made again on first use
    IEDefaultMinFileSize = -1;
    IEAllowFileFallback = true;
    IEAllowSegments = true;
    IEColorManagementModule = nullptr;
    const long double pi = 3.141592653589793238462643383279502884L;
    for (int i = 0; i < 256; ++i) IECosineTable[i] = (int32_t)Round(64.0L - 64.0L * std::cos(i * pi / 255.0L));
}

void IECoreUtilsFinalize() {
    IEFreeDefaultFont();
    IEFreeLibrary(IEColorManagementModule);
}

void iecoreutils_Register() {
    RegisterUnit(L"iecoreutils", urImageLibrary, IEStaticInitialize, IEStaticFinalize);
}
