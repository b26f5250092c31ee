// Volumes: naming, size limits, requests through events and prompts on a simulated drive, writes
// carried across volume ends, and the detection of the kind of set.
#include <gtest/gtest.h>

#include "ZFExcept.h"
#include "ZFVolumes.h"
#include "WinApi.h"
#include "zip_test_util.h"

using namespace ziptest;

namespace {

// Prepares the core to write a new set named arc.zip in the folder, volumes of 65536 bytes,
// and opens its first volume.
void StartWriting(TCore& core, const TScratchDir& dir, TZFSpanningMode mode) {
    core.FileName = dir / L"arc.zip";
    core.SetSpanningMode(mode);
    core.OpenMode = ZFOpenCreate;
    core.SpanningOptions.VolumeSize = vsCustom;
    core.SpanningOptions.SetCustomVolumeSize(65536);
    TZFVolumeNumberInfo first;
    first.MakeFirst();
    core.RequestVolume(first);
}

}  // namespace

TEST(ZFVolumes, SpanningOptionsLimitsAndAssignment) {
    TZFSpanningOptions o;
    EXPECT_EQ(o.GetCustomVolumeSize(), 0);
    EXPECT_EQ(o.VolumeSizeLimit(true), 0);   // vsAutoDetect: no limit
    o.SetCustomVolumeSize(1000);
    EXPECT_EQ(o.GetCustomVolumeSize(), 65536);
    o.VolumeSize = vs1_44MB;
    EXPECT_EQ(o.VolumeSizeLimit(true), 1457664);
    o.FirstVolumeSize = 100000;
    EXPECT_EQ(o.VolumeSizeLimit(true), 100000);
    EXPECT_EQ(o.VolumeSizeLimit(false), 1457664);
    o.VolumeSize = vsCustom;
    EXPECT_EQ(o.VolumeSizeLimit(false), 65536);
    EXPECT_EQ(ZFVolumeSizeBytes(vs4700MB), 4928307200LL);

    TZFSpanningOptions copy;
    o.AdvancedNaming = true;
    copy.Assign(&o);
    EXPECT_TRUE(copy.AdvancedNaming);
    EXPECT_EQ(copy.FirstVolumeSize, 100000);
    EXPECT_EQ(copy.VolumeSize, vsCustom);
    EXPECT_EQ(copy.GetCustomVolumeSize(), 65536);
}

TEST(ZFVolumes, VolumeNumberInfoComparesByKindAndNumber) {
    TZFVolumeNumberInfo unknown, first, last, second, lastKnown;
    unknown.Reset();
    first.Reset();
    first.MakeFirst();
    last.Reset();
    last.MakeLast();
    second.Reset();
    second.SetNumber(1);
    lastKnown.LastVolumeNumber = 3;
    lastKnown.SetNumber(3);

    EXPECT_TRUE(first.IsFirst());
    EXPECT_TRUE(last.IsLast());
    EXPECT_EQ(last.VolumeNumber, -1);
    EXPECT_TRUE(lastKnown.IsLast());   // by number once the last number is known
    EXPECT_FALSE(second.IsLast());
    EXPECT_TRUE(last.SameVolume(lastKnown));
    EXPECT_TRUE(first.SameVolume(first));
    EXPECT_FALSE(first.SameVolume(second));
    EXPECT_FALSE(second.SameVolume(lastKnown));
    TZFVolumeNumberInfo otherSecond;
    otherSecond.SetNumber(1);
    EXPECT_TRUE(second.SameVolume(otherSecond));
    EXPECT_TRUE(unknown.SameVolume(TZFVolumeNumberInfo()));
}

TEST(ZFVolumes, VolumeNamesBySetKindAndNaming) {
    TCore core;
    struct TCase {
        TZFSpanningMode Mode;
        bool Advanced;
        uint16_t Method;
        const wchar_t* File;
        int32_t Volume;
        const wchar_t* Expected;
    } cases[] = {
        {smSplitting, false, 8, L"C:\\d\\arc.zip", 0, L"C:\\d\\arc.Z01"},
        {smSplitting, false, 8, L"C:\\d\\arc.zip", 1, L"C:\\d\\arc.Z02"},
        {smSplitting, false, 8, L"C:\\d\\arc.zip", -1, L"C:\\d\\arc.zip"},
        {smSplitting, true, 8, L"C:\\d\\a.zip", 0, L"C:\\d\\a_001.zip"},
        {smSplitting, true, 8, L"C:\\d\\a.zip", 11, L"C:\\d\\a_012.zip"},
        {smSplitting, false, 0xFFFF, L"C:\\d\\a.zf", 2, L"C:\\d\\a.F03"},
        {smSplitting, false, 8, L"C:\\d\\setup.exe", 0, L"C:\\d\\setup.exe"},
        {smSplitting, false, 8, L"C:\\d\\setup.exe", 1, L"C:\\d\\setup.Z02"},
        {smSplitting, false, 8, L"C:\\d\\setup.exe", -1, L"C:\\d\\setup.ZIP"},
        {smSplitting, false, 0xFFFF, L"C:\\d\\setup.exe", -1, L"C:\\d\\setup.ZF"},
        {smSpanning, false, 8, L"A:\\arc.zip", 4, L"A:\\arc.zip"},
        {smSpanning, true, 8, L"A:\\arc.zip", 4, L"A:\\arc_005.zip"},
        {smSpanning, true, 8, L"A:\\setup.exe", 0, L"A:\\setup_001.exe"},
        {smSpanning, false, 8, L"A:\\arc.zip", -1, L"A:\\arc.zip"},
    };
    for (const TCase& c : cases) {
        core.SetSpanningMode(c.Mode);
        core.SpanningOptions.AdvancedNaming = c.Advanced;
        core.CompressionMethod = c.Method;
        EXPECT_EQ(core.VolumeName(c.File, c.Volume, false), c.Expected) << c.File << L" " << c.Volume;
    }
}

TEST(ZFVolumes, SpannedNameCheckFindsTheOtherNaming) {
    TScratchDir dir(L"spanname");
    TCore core;
    core.SetSpanningMode(smSpanning);
    WriteFileBytes(dir / L"arc_002.zip", "x");
    EXPECT_EQ(core.VolumeName(dir / L"arc.zip", 1, true), dir / L"arc_002.zip");
    EXPECT_EQ(core.VolumeName(dir / L"arc.zip", 2, true), dir / L"arc.zip");   // neither: the first
    core.SpanningOptions.AdvancedNaming = true;
    EXPECT_EQ(core.VolumeName(dir / L"arc.zip", 2, true), dir / L"arc_003.zip");
}

TEST(ZFVolumes, SplitWriteFillsEachVolumeToItsLimit) {
    TScratchDir dir(L"splitwrite");
    TCore core;
    core.SpanningOptions.FirstVolumeSize = 70000;
    std::vector<int32_t> asked;
    core.OnRequestBlankVolume = [&](TObject*, int32_t n, std::wstring&, bool&) { asked.push_back(n); };
    StartWriting(core, dir, smSplitting);
    const std::string data = Bytes(200000, 1);
    core.WriteAll(data.data(), (int64_t)data.size());
    EXPECT_EQ(core.CurrentVolume.VolumeNumber, 2);
    core.FreeArchiveStream();

    EXPECT_EQ(asked, (std::vector<int32_t>{1, 2, 3}));
    const std::string v1 = ReadFileBytes(dir / L"arc.Z01");
    const std::string v2 = ReadFileBytes(dir / L"arc.Z02");
    const std::string v3 = ReadFileBytes(dir / L"arc.Z03");
    EXPECT_EQ(v1.size(), 70000u);
    EXPECT_EQ(v2.size(), 65536u);
    EXPECT_EQ(v1 + v2 + v3, data);
    EXPECT_TRUE(core.Drive.Labels.empty());   // labels are for spanned disks only
}

TEST(ZFVolumes, MinimumKeepsARecordInOneVolume) {
    TScratchDir dir(L"minimum");
    TCore core;
    StartWriting(core, dir, smSplitting);

    const std::string fill = Bytes(65536 - 40, 2);
    core.WriteAll(fill.data(), (int64_t)fill.size());
    const std::string header = Bytes(46, 3);
    core.WriteAll(header.data(), 46, 10);   // 46 + 10 bytes do not fit the 40 left
    core.FreeArchiveStream();
    EXPECT_EQ(ReadFileBytes(dir / L"arc.Z01"), fill);
    EXPECT_EQ(ReadFileBytes(dir / L"arc.Z02"), header);
}

TEST(ZFVolumes, BufferedWritesReachTheVolumeBeforeTheNextOne) {
    TScratchDir dir(L"buffered");
    TCore core;
    StartWriting(core, dir, smSplitting);
    TMemoryStream buffer;
    const std::string data = Bytes(100000, 4);
    core.WriteAll(data.data(), (int64_t)data.size(), -1, &buffer);
    buffer.SetPosition(0);
    core.ArchiveStream()->CopyFrom(&buffer, 0);
    core.FreeArchiveStream();
    EXPECT_EQ(ReadFileBytes(dir / L"arc.Z01") + ReadFileBytes(dir / L"arc.Z02"), data);
    EXPECT_EQ(ReadFileBytes(dir / L"arc.Z01").size(), 65536u);
}

TEST(ZFVolumes, SpannedDisksArePromptedLabelledAndCheckedForSpace) {
    TScratchDir dir(L"spanwrite");
    TCore core;
    core.Drive.Removable = true;
    core.FileName = dir / L"arc.zip";
    // Every disk carries the same name: the test "ejects" each full disk by moving its file away.
    int ejected = 0;
    core.Drive.OnConfirm = [&](const std::wstring& text) {
        if (text.find(L"blank disk") != std::wstring::npos && FileExists(core.FileName))
            MoveFileW(core.FileName.c_str(), (dir / (L"disk" + std::to_wstring(++ejected))).c_str());
    };
    core.Drive.Answers = {true, true};
    StartWriting(core, dir, smSpanning);
    const std::string data = Bytes(100000, 5);
    core.WriteAll(data.data(), (int64_t)data.size());
    core.FreeArchiveStream();

    EXPECT_EQ(core.Drive.Prompts,
              (std::vector<std::wstring>{L"Please insert a blank disk #1", L"Please insert a blank disk #2"}));
    EXPECT_EQ(core.Drive.Labels, (std::vector<std::wstring>{L"pkback# 001", L"pkback# 002"}));
    EXPECT_EQ(core.Drive.Flushes, 1);
    EXPECT_EQ(ReadFileBytes(dir / L"disk1") + ReadFileBytes(dir / L"arc.zip"), data);

    // A disk with 65536 bytes free or less is refused even without a size limit.
    TCore full;
    full.Drive.Removable = true;
    full.Drive.Free = 65536;
    full.FileName = dir / L"full.zip";
    full.SetSpanningMode(smSpanning);
    full.OpenMode = ZFOpenCreate;
    TZFVolumeNumberInfo first;
    first.MakeFirst();
    int diskFull = 0;
    full.OnRequestBlankVolume = [](TObject*, int32_t, std::wstring&, bool&) {};
    full.OnDiskFull = [&](TObject*, int32_t n, const std::wstring&, bool& cancel) {
        ++diskFull;
        if (diskFull == 2) cancel = true;
    };
    EXPECT_EQ(NativeErrorOf([&] { full.RequestVolume(first); }), ZFErrVolumeCancelled);
    EXPECT_EQ(diskFull, 2);

    // Without a handler the user is told the sizes.
    full.OnDiskFull = nullptr;
    full.SpanningOptions.VolumeSize = vs1_44MB;
    EXPECT_EQ(NativeErrorOf([&] { full.RequestVolume(first); }), ZFErrVolumeCancelled);
    EXPECT_EQ(full.Drive.Prompts.back(),
              L"Disk is full. Required free space: 1457664 bytes, but available only: 65536 bytes. "
              L"Clean the disk or find another blank disk");
}

TEST(ZFVolumes, FullSplitVolumeWithoutHandlerIsCode65) {
    TScratchDir dir(L"splitfull");
    TCore core;
    core.Drive.Free = 1000;
    EXPECT_EQ(NativeErrorOf([&] { StartWriting(core, dir, smSplitting); }), ZFErrDiskFull);
}

TEST(ZFVolumes, ReadingRequestsBySetKind) {
    TScratchDir dir(L"readreq");
    WriteFileBytes(dir / L"arc.Z01", "one");
    WriteFileBytes(dir / L"arc.Z02", "two");
    WriteFileBytes(dir / L"arc.zip", "end");
    TCore core;
    core.FileName = dir / L"arc.zip";
    core.SetSpanningMode(smSplitting);
    TZFVolumeNumberInfo wanted;
    wanted.LastVolumeNumber = 2;
    auto contents = [&] {
        std::string s(3, '\0');
        core.ArchiveStream()->SetPosition(0);
        core.ArchiveStream()->ReadBuffer(&s[0], 3);
        return s;
    };
    wanted.MakeLast();
    core.RequestVolume(wanted);
    EXPECT_EQ(contents(), "end");
    wanted.SetNumber(1);
    core.RequestVolume(wanted);
    EXPECT_EQ(contents(), "two");
    wanted.MakeFirst();
    core.RequestVolume(wanted);
    EXPECT_EQ(contents(), "one");
    EXPECT_EQ(core.CurrentVolumeName, dir / L"arc.Z01");

    // A missing split volume cancels the request.
    DeleteFileW((dir / L"arc.Z02").c_str());
    wanted.SetNumber(1);
    EXPECT_EQ(NativeErrorOf([&] { core.RequestVolume(wanted); }), ZFErrVolumeCancelled);

    // A handler can point elsewhere; an empty name ends a split request.
    core.OnRequestMiddleVolume = [&](TObject*, int32_t n, std::wstring& name, bool&) {
        EXPECT_EQ(n, 2);
        name = dir / L"arc.Z01";
    };
    core.RequestVolume(wanted);
    EXPECT_EQ(contents(), "one");
    core.OnRequestMiddleVolume = [&](TObject*, int32_t, std::wstring& name, bool&) { name.clear(); };
    wanted.SetNumber(1);
    core.FreeArchiveStream();
    EXPECT_EQ(NativeErrorOf([&] { core.RequestVolume(wanted); }), ZFErrVolumeCancelled);
}

TEST(ZFVolumes, SpannedReadingAsksForDisksUntilTheFileIsThere) {
    TScratchDir dir(L"spanread");
    TCore core;
    core.Drive.Removable = true;
    core.FileName = dir / L"arc.zip";
    core.SetSpanningMode(smSpanning);
    // The first answer inserts no disk; the prompt then asks for the file until it is there.
    core.Drive.OnConfirm = [&](const std::wstring& text) {
        if (text.rfind(L"File '", 0) == 0) WriteFileBytes(core.FileName, "last");
    };
    core.Drive.Answers = {true, true, true};
    TZFVolumeNumberInfo wanted;
    wanted.MakeLast();
    core.RequestVolume(wanted);
    ASSERT_EQ(core.Drive.Prompts.size(), 2u);
    EXPECT_EQ(core.Drive.Prompts[0], L"Please insert the last disk");
    EXPECT_EQ(core.Drive.Prompts[1], L"File '" + core.FileName +
                                         L"' not found on inserted disk. Please insert last disk with required file");

    wanted.LastVolumeNumber = 3;
    wanted.SetNumber(1);
    core.Drive.Answers = {false};
    EXPECT_EQ(NativeErrorOf([&] { core.RequestVolume(wanted); }), ZFErrVolumeCancelled);
    EXPECT_EQ(core.Drive.Prompts.back(), L"Please insert disk #2");
}

TEST(ZFVolumes, DetectSetKindFromTheEndRecordSearch) {
    TScratchDir dir(L"detect");
    struct TCase {
        const wchar_t* Present;   // a file beside arc.zip, or null
        bool Met, Found;
        uint16_t ThisDisk;
        bool Removable;
        TZFSpanningMode Expected;
        bool AdvancedAfter;
    } cases[] = {
        {nullptr, true, true, 0, false, smNone, false},
        {L"arc.Z02", true, true, 2, false, smSplitting, false},
        {L"arc_002.zip", true, true, 2, false, smSplitting, true},   // the other naming style
        {nullptr, true, true, 2, false, smSpanning, false},          // no predecessor file: disks
        {nullptr, true, false, 0, false, smNone, false},             // bad record on volume 0
        {nullptr, false, false, 0, true, smSpanning, false},
        {nullptr, false, false, 0, false, smNone, false},
    };
    for (const TCase& c : cases) {
        TCore core;
        core.Drive.Removable = c.Removable;
        core.FileName = dir / L"arc.zip";
        WriteFileBytes(core.FileName, "x");
        if (c.Present) WriteFileBytes(dir / c.Present, "x");
        TZFArchiveCore::TZFEndSearch s;
        s.MetSignature = c.Met;
        s.Found = c.Found;
        s.ThisDisk = c.ThisDisk;
        core.DetectSetKind(s);
        EXPECT_EQ(core.GetSpanningMode(), c.Expected) << (c.Present ? c.Present : L"-") << " " << c.ThisDisk;
        EXPECT_EQ(core.SpanningOptions.AdvancedNaming, c.AdvancedAfter);
        if (c.Present) DeleteFileW((dir / c.Present).c_str());
    }
}
