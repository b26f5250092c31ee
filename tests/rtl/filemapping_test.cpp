// File mapping by region: the alignment sums, windows at unaligned offsets that see each other's
// bytes, offsets above 4 GiB in a sparse file, and the ranges and files refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "FileMapping.h"
#include "SysUtils.h"

namespace {

// A file name in the build folder, removed again at the end of the test.
struct TScratchFile {
    std::string Path;
    explicit TScratchFile(const char* AName) : Path(std::string(TEST_BUILD_DIR "/") + AName) { std::remove(Path.c_str()); }
    ~TScratchFile() { std::remove(Path.c_str()); }
    std::wstring Name() const { return Utf8ToWide(Path); }
};

constexpr int64_t k4GiB = int64_t(1) << 32;

}  // namespace

TEST(FileMapping, PlansStartAtTheGranularityBelowTheOffset) {
    const size_t kMaxSize = std::numeric_limits<size_t>::max();
    struct {
        int64_t Offset;
        size_t Length;
        int64_t FileSize;
        uint32_t Granularity;
        bool Ok;
        int64_t Start;
        size_t Delta;
    } cases[] = {
        {0, 1, 1, 65536, true, 0, 0},
        {65535, 2, 200000, 65536, true, 0, 65535},
        {65536, 10, 200000, 65536, true, 65536, 0},
        {65537, 10, 200000, 65536, true, 65536, 1},
        {199990, 10, 200000, 65536, true, 196608, 3382},   // ends exactly at the end of the file
        {k4GiB + 5, 3, k4GiB + 8, 65536, true, k4GiB, 5},
        {k4GiB - 3, 8, 5 * k4GiB, 4096, true, k4GiB - 4096, 4093},
        {199991, 10, 200000, 65536, false, 0, 0},           // one byte beyond the end
        {200000, 1, 200000, 65536, false, 0, 0},
        {-1, 1, 200000, 65536, false, 0, 0},
        {0, 0, 200000, 65536, false, 0, 0},                 // no bytes
        {std::numeric_limits<int64_t>::max() - 1, 10, std::numeric_limits<int64_t>::max(), 65536, false, 0, 0},
        {1, kMaxSize, std::numeric_limits<int64_t>::max(), 65536, false, 0, 0},   // longer than the address space
        {0, 1, 200000, 0, false, 0, 0},
        {0, 1, 200000, 3000, false, 0, 0},                  // not a power of two
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Offset) + " + " + std::to_string(c.Length) + " of " + std::to_string(c.FileSize));
        TFileRegionPlan plan;
        plan.Start = -7;
        ASSERT_EQ(PlanFileRegion(c.Offset, c.Length, c.FileSize, c.Granularity, plan), c.Ok);
        if (!c.Ok) {
            EXPECT_EQ(plan.Start, -7) << "a refused plan is left alone";
            continue;
        }
        EXPECT_EQ(plan.Start, c.Start);
        EXPECT_EQ(plan.Delta, c.Delta);
        EXPECT_EQ(plan.Length, c.Delta + c.Length);
        EXPECT_EQ(plan.Start % c.Granularity, 0);
    }
}

TEST(FileMapping, WindowsAtUnalignedOffsetsShareTheFile) {
    const uint32_t g = TFileMapping::Granularity();
    ASSERT_GE(g, 4096u);
    ASSERT_EQ(g & (g - 1), 0u);
    TScratchFile file("filemapping_small.tmp");
    const int64_t size = 3 * int64_t(g) + 100;
    {
        std::unique_ptr<TFileMapping> mapping = TFileMapping::Create(file.Name(), size);
        EXPECT_EQ(mapping->Size(), size);
        EXPECT_TRUE(mapping->Writable());

        // A window across the first granularity boundary, written byte by byte.
        TFileRegion writer = mapping->Map(g - 7, 20);
        ASSERT_TRUE(writer.Mapped());
        EXPECT_EQ(writer.Offset(), int64_t(g) - 7);
        EXPECT_EQ(writer.Length(), 20u);
        for (int i = 0; i < 20; ++i) writer.Data()[i] = static_cast<uint8_t>(0xA0 + i);

        // Another window over part of it sees the bytes at once; the file's last byte is reachable.
        TFileRegion reader = mapping->Map(g - 2, 5);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(reader.Data()[i], 0xA5 + i) << i;
        TFileRegion last = mapping->Map(size - 1, 1);
        EXPECT_EQ(last.Data()[0], 0);
        last.Data()[0] = 0x5A;

        // Moving a window moves its mapping; unmapping twice is harmless.
        TFileRegion moved = std::move(reader);
        EXPECT_FALSE(reader.Mapped());
        EXPECT_EQ(reader.Data(), nullptr);
        EXPECT_EQ(moved.Data()[0], 0xA5);
        moved.Unmap();
        moved.Unmap();
        EXPECT_FALSE(moved.Mapped());
        EXPECT_EQ(moved.Length(), 0u);

        // A window outlives its mapping object.
        mapping.reset();
        EXPECT_EQ(writer.Data()[19], 0xA0 + 19);
    }

    // The bytes reached the file: a read-only mapping of it finds them.
    TFileMapping again(file.Name(), false);
    EXPECT_FALSE(again.Writable());
    EXPECT_EQ(again.Size(), size);
    TFileRegion all = again.Map(0, static_cast<size_t>(size));
    for (int64_t i = 0; i < size; ++i) {
        uint8_t expected = 0;
        if (i >= g - 7 && i < g + 13) expected = static_cast<uint8_t>(0xA0 + (i - (g - 7)));
        if (i == size - 1) expected = 0x5A;
        ASSERT_EQ(all.Data()[i], expected) << "at " << i;
    }
}

// A file of 5 GiB without the disk space: only the few bytes written take any.
TEST(FileMapping, OffsetsAboveFourGiBInASparseFile) {
    TScratchFile file("filemapping_sparse.tmp");
    const int64_t size = 5 * k4GiB / 4 + 1000;
    {
        std::unique_ptr<TFileMapping> mapping = TFileMapping::Create(file.Name(), size);
        ASSERT_EQ(mapping->Size(), size);
        TFileRegion across = mapping->Map(k4GiB - 3, 8);   // straddles 4 GiB
        std::memcpy(across.Data(), "ACROSS4G", 8);
        TFileRegion high = mapping->Map(k4GiB + 0x40000007, 6);
        std::memcpy(high.Data(), "HIGH!!", 6);
        TFileRegion end = mapping->Map(size - 4, 4);
        std::memcpy(end.Data(), "END.", 4);
    }
    TFileMapping mapping(file.Name(), false);
    ASSERT_EQ(mapping.Size(), size);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapping.Map(k4GiB + 0x40000007, 6).Data()), 6), "HIGH!!");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapping.Map(k4GiB, 5).Data()), 5), "OSS4G");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapping.Map(k4GiB - 3, 3).Data()), 3), "ACR");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(mapping.Map(size - 4, 4).Data()), 4), "END.");
    TFileRegion zeros = mapping.Map(k4GiB + 5, 64);
    for (size_t i = 0; i < zeros.Length(); ++i) EXPECT_EQ(zeros.Data()[i], 0) << i;
}

TEST(FileMapping, RefusesBadRangesAndFiles) {
    TScratchFile file("filemapping_refused.tmp");
    std::unique_ptr<TFileMapping> mapping = TFileMapping::Create(file.Name(), 1000);
    EXPECT_THROW(mapping->Map(-1, 1), EFileMappingError);
    EXPECT_THROW(mapping->Map(0, 0), EFileMappingError);
    EXPECT_THROW(mapping->Map(1000, 1), EFileMappingError);
    EXPECT_THROW(mapping->Map(999, 2), EFileMappingError);
    EXPECT_THROW(mapping->Map(std::numeric_limits<int64_t>::max(), 1), EFileMappingError);
    EXPECT_THROW(mapping->Map(0, std::numeric_limits<size_t>::max()), EFileMappingError);
    EXPECT_TRUE(mapping->Map(999, 1).Mapped());
    mapping.reset();

    // An empty file has no region at all.
    TScratchFile empty("filemapping_empty.tmp");
    mapping = TFileMapping::Create(empty.Name(), 0);
    EXPECT_EQ(mapping->Size(), 0);
    EXPECT_THROW(mapping->Map(0, 1), EFileMappingError);
    mapping.reset();

    TScratchFile missing("filemapping_missing.tmp");
    EXPECT_THROW(TFileMapping(missing.Name(), false), EFOpenError);
    EXPECT_THROW(TFileMapping::Create(missing.Name(), -1), EFileMappingError);
    EXPECT_THROW(TFileMapping::Create(Utf8ToWide(TEST_BUILD_DIR "/no-such-folder/x.tmp"), 10), EFCreateError);
}

TEST(FileMapping, ReadsAndWritesThroughTheFileMeetTheRegions) {
    TScratchFile file("filemapping_readwrite.tmp");
    std::unique_ptr<TFileMapping> mapping = TFileMapping::Create(file.Name(), 70000);
    TFileRegion region = mapping->Map(65530, 20);
    // Written through the file, seen in a region at once; written in the region, read back.
    const char text[] = "across 64 KiB";
    mapping->Write(65533, text, sizeof text);
    EXPECT_EQ(std::memcmp(region.Data() + 3, text, sizeof text), 0);
    region.Data()[0] = 'x';
    char back[4] = {};
    mapping->Read(65530, back, 4);
    EXPECT_EQ(std::string(back, 4), std::string("x\0\0a", 4));
    // The last byte is reachable, one past it is not; 0 bytes do nothing anywhere.
    mapping->Read(69999, back, 1);
    EXPECT_THROW(mapping->Read(69999, back, 2), EFileMappingError);
    EXPECT_THROW(mapping->Write(-1, back, 1), EFileMappingError);
    mapping->Write(80000, back, 0);
    region.Unmap();
    mapping.reset();
    TFileMapping reading(file.Name(), false);
    EXPECT_THROW(reading.Write(0, back, 1), EFileMappingError);
    reading.Read(65533, back, 4);
    EXPECT_EQ(std::string(back, 4), "acro");
}
