// Volume sets on a case-sensitive file system: a set split by Info-ZIP names its volumes ".z01",
// ".z02", while the engine composes ".Z01"; the volume that is there is the one meant, as on
// Windows.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "NativeTestUtil.h"
#include "PosixPlatform.h"
#include "ZFConst.h"
#include "ZFStrFunc.h"
#include "ZipFlow.h"

using nativetest::TScratchDir;

namespace {

// Bytes that do not compress, from a fixed seed.
std::string NoiseBytes(size_t count) {
    std::string bytes(count, '\0');
    uint32_t state = 108;
    for (char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = (char)(state >> 16);
    }
    return bytes;
}

}  // namespace

TEST(PosixVolumes, AnInfoZipSplitSetIsFoundWhateverTheCaseOfItsVolumeNames) {
    TScratchDir dir;
    {
        FILE* f = std::fopen((kwposix::PosixPath(dir.Path()) + "/noise.bin").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string noise = NoiseBytes(150000);
        std::fwrite(noise.data(), 1, noise.size(), f);
        std::fclose(f);
    }
    const std::string command = "cd '" + kwposix::PosixPath(dir.Path()) + "' && timeout 60 zip -q -X -0 -s 64k set.zip noise.bin";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const wchar_t* volume : {L"set.z01", L"set.z02", L"set.zip"})
        ASSERT_TRUE(ZFFileExists(dir.Path() + volume)) << "zip -s did not write " << volume;
    EXPECT_FALSE(ZFFileExists(dir.Path() + L"set.Z01"));
    EXPECT_EQ(ZFExistingFileName(dir.Path() + L"set.Z01"), dir.Path() + L"set.z01");
    EXPECT_EQ(ZFExistingFileName(dir.Path() + L"set.Z09"), dir.Path() + L"set.Z09");

    TZipFlow flow(nullptr);
    std::vector<int32_t> failures;
    flow.OnProcessFileFailure = [&](TObject*, const std::wstring&, TZFProcessOperation, int32_t native, int32_t,
                                    const std::wstring&, TZFAction& action) {
        failures.push_back(native);
        action = fxaIgnore;
    };
    flow.FileName = dir.Path() + L"set.zip";
    flow.OpenArchiveMode(fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(flow.GetSpanningMode(), smSplitting);
    int32_t tested = 0;
    flow.OnFileProgress = [&](TObject*, const std::wstring&, double, TZFProcessOperation, TZFProgressPhase phase,
                              bool&) { tested += phase == ppEnd; };
    flow.TestFiles(L"*.*");
    EXPECT_EQ(failures, std::vector<int32_t>{});
    EXPECT_EQ(tested, 1);
    flow.CloseArchive();
}
