// The library-wide start-up: every step once and in order, shut-down in the reverse order (the
// plug-in last), the count of starts, a stop without a start, the values the core's own steps
// set, and the processing routines installed before the first step.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "iecoredefs_startup.h"
#include "iecoredefs_types.h"
#include "iecoreutils_general.h"
#include "iecoreutils_startup.h"
#include "iestartup.h"
#include "iecoreutils_threads.h"
#include "ieprochooks.h"
#include "iequantizer.h"
#include "iesight.h"
#include "picturaio.h"
#include "picturaproc_pixels.h"
#include "picturaproc_resample.h"
#include "picturaview.h"

namespace {

std::vector<std::string> gSteps;

void Record(const char* Step) {
    gSteps.push_back(Step);
}

// Follows the steps for one test; the library is stopped again, whatever happened.
class IEStartup : public ::testing::Test {
protected:
    void SetUp() override {
        gSteps.clear();
        IEStartupTrace = Record;
    }
    void TearDown() override {
        while (IEStaticInitCount > 0 && IEStaticInitGuard == "STATICINIT") IEStaticFinalize();
        IEStartupTrace = nullptr;
    }
};

const std::vector<std::string> kSetup = {
    "IEGdiPlusInitialize",     "IECoreDefsInitialize",    "IECoreUtilsInitialize",   "IEInitializeJ2000",
    "IEVectInitialize",        "IEInitializePicturaIO",   "IEInitializePicturaProc", "IEPicturaViewInitialize",
    "IEInitializeCCITT",       "IETextControlInitialize", "IEInitializePresetImages", "IESightLoad"};
const std::vector<std::string> kTeardown = {
    "IEFinalizePresetImages", "IETextControlFinalize", "IEFinalizeCCITT", "IEPicturaViewFinalize",
    "IEFinalizePicturaProc",  "IEFinalizePicturaIO",   "IEVectFinalize",  "IEFinalizeJ2000",
    "IECoreUtilsFinalize",    "IECoreDefsFinalize",    "IEGdiPlusFinalize", "IESightUnload"};

}  // namespace

TEST_F(IEStartup, TwoStartsOneStopThenTheLastStopTearsDownOnce) {
    IEStaticFinalize();   // never started: nothing happens
    EXPECT_TRUE(gSteps.empty());
    EXPECT_EQ(IEStaticInitGuard, "");

    IEGrayRedWeight = 1;
    IEDefaultDPIX = 0;
    IEStaticInitialize();
    EXPECT_EQ(gSteps, kSetup);
    IEStaticInitialize();
    EXPECT_EQ(gSteps.size(), kSetup.size());   // the second start only counts
    EXPECT_EQ(IEStaticInitCount, 2);
    EXPECT_EQ(IEStaticInitGuard, "STATICINIT");

    IEStaticFinalize();
    EXPECT_EQ(gSteps.size(), kSetup.size());
    EXPECT_EQ(IEStaticInitCount, 1);
    EXPECT_EQ(IEGrayRedWeight, 21);   // still in force
    EXPECT_EQ(IEDefaultDPIX, 300);

    gSteps.clear();
    IEStaticFinalize();
    EXPECT_EQ(gSteps, kTeardown);
    EXPECT_EQ(IEStaticInitCount, 0);
    EXPECT_EQ(IEStaticInitGuard, "");
    gSteps.clear();
    IEStaticFinalize();   // stopped: nothing more
    EXPECT_TRUE(gSteps.empty());

    // A start after a full stop runs every step again.
    IEStaticInitialize();
    EXPECT_EQ(gSteps, kSetup);
}

TEST_F(IEStartup, TheCoreStepsValues) {
    IECachedCoreCount = 5;
    IEDefaultMinFileSize = 7;
    IEAllowSegments = false;
    IEStaticInitialize();
    EXPECT_EQ(IEGrayRedWeight, 21);
    EXPECT_EQ(IEGrayGreenWeight, 71);
    EXPECT_EQ(IEGrayBlueWeight, 8);
    EXPECT_EQ(IERGBToGray(TIERGB{0, 0, 255}), 53);   // blue, green, red in memory
    EXPECT_EQ(IERGBToGray(TIERGB{0, 255, 0}), 181);
    EXPECT_EQ(IERGBToGray(TIERGB{255, 0, 0}), 20);
    EXPECT_EQ(IEDialogsBackground, 0);
    EXPECT_EQ(IECachedCoreCount, -1);
    EXPECT_EQ(IEDefaultMinFileSize, -1);
    EXPECT_TRUE(IEAllowFileFallback);
    EXPECT_TRUE(IEAllowSegments);
    EXPECT_EQ(IEPreviewsZoomFilter, rfFastLinear);
    EXPECT_EQ(IEIsWinNT, IEWindowsVersionIndex > 2);
    EXPECT_EQ(IECosineTable[0], 0);
    EXPECT_EQ(IECosineTable[127], 64);
    EXPECT_EQ(IECosineTable[128], 64);
    EXPECT_EQ(IECosineTable[255], 128);
    EXPECT_EQ(IECosineTable[64], 19);   // 64 - 64 cos(64 pi / 255) = 18.7
    for (int i = 1; i < 256; ++i) EXPECT_GE(IECosineTable[i], IECosineTable[i - 1]);
    EXPECT_EQ(IEQuantizerMode, -1);
    EXPECT_FALSE(IEColorManagementEnabled);
    // Without the plug-in the start-up completes and says so.
    EXPECT_FALSE(IESightAvailable());
    EXPECT_EQ(IESightLibrary, nullptr);
}

TEST_F(IEStartup, AStepThatRaisesLeavesTheLock) {
    IEStartupTrace = [](const char* Step) {
        Record(Step);
        if (std::string(Step) == "IEVectInitialize") throw std::runtime_error("step failed");
    };
    EXPECT_THROW(IEStaticInitialize(), std::runtime_error);
    EXPECT_EQ(IEStaticInitCount, 0);
    EXPECT_EQ(gSteps.back(), "IEVectInitialize");
    // The lock was left: another start (from this or any thread) runs the steps again.
    IEStartupTrace = Record;
    gSteps.clear();
    std::thread other([] { IEStaticInitialize(); });
    other.join();
    EXPECT_EQ(gSteps, kSetup);
    EXPECT_EQ(IEStaticInitCount, 1);
}

TEST_F(IEStartup, TheProcessingRoutinesAreInPlaceBeforeTheFirstStep) {
    // As in a program that has not started the library (this test program installs them itself).
    IEResampleHook = nullptr;
    IECopyBitsHook = nullptr;
    IENewQuantizerHook = nullptr;
    static bool installedAtFirstStep;
    installedAtFirstStep = false;
    IEStartupTrace = [](const char* Step) {
        if (gSteps.empty()) installedAtFirstStep = IEResampleHook && IECopyBitsHook && IENewQuantizerHook;
        Record(Step);
    };
    IEStaticInitialize();
    EXPECT_TRUE(installedAtFirstStep);
    EXPECT_EQ(IEResampleHook, &IEResample);
    EXPECT_EQ(IECopyBitsHook, &IECopyBits);
    TIEBitmap grey(4, 1, ie24RGB);
    for (int32_t x = 0; x < 4; ++x) grey.SetPixelRGB(x, 0, TIERGB{(uint8_t)(x * 60), (uint8_t)(x * 60), (uint8_t)(x * 60)});
    TIERGB palette[2] = {};
    const std::unique_ptr<IIEQuantizer> quantizer = IENewQuantizerHook(&grey, palette, 0, 2);
    EXPECT_NE(dynamic_cast<const TIEQuantizer*>(quantizer.get()), nullptr);
    EXPECT_TRUE(quantizer->GetIsGray());
    // The shut-down leaves them: the routines need no set-up of their own.
    IEStaticFinalize();
    EXPECT_EQ(IEResampleHook, &IEResample);
}
