// ICC profiles without the colour engine: the texts read from the tag table, the raw bytes kept,
// saved and copied, and the formats a bitmap conversion refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "iebitmap.h"
#include "iecoreutils_icc.h"

namespace {

void PutBE32(std::vector<uint8_t>& P, size_t At, uint32_t V) {
    P[At] = (uint8_t)(V >> 24);
    P[At + 1] = (uint8_t)(V >> 16);
    P[At + 2] = (uint8_t)(V >> 8);
    P[At + 3] = (uint8_t)V;
}

// A header, a tag table of the given tags and their data appended in order.
struct TTag {
    const char* Signature;
    std::string Data;
    int32_t Offset = -1;   // -1: where the data lands
};
std::vector<uint8_t> Profile(const std::vector<TTag>& Tags) {
    std::vector<uint8_t> p(132 + 12 * Tags.size(), 0);
    PutBE32(p, 128, (uint32_t)Tags.size());
    for (size_t i = 0; i < Tags.size(); ++i) {
        const size_t at = 132 + 12 * i;
        std::memcpy(&p[at], Tags[i].Signature, 4);
        PutBE32(p, at + 4, (uint32_t)(Tags[i].Offset >= 0 ? (size_t)Tags[i].Offset : p.size()));
        PutBE32(p, at + 8, (uint32_t)Tags[i].Data.size());
        p.insert(p.end(), Tags[i].Data.begin(), Tags[i].Data.end());
    }
    PutBE32(p, 0, (uint32_t)p.size());
    return p;
}

const std::string kDesc = std::string("desc\0\0\0\0\0\0\0\x0B", 12) + std::string("Test sRGB\0\0", 11);
const std::string kCprt = std::string("text\0\0\0\0", 8) + std::string("(c) Us\0", 7);

std::wstring Ghostscript(const wchar_t* Name) {
    return std::wstring(L"Z:\\usr\\share\\color\\icc\\ghostscript\\") + Name;
}

}  // namespace

TEST(IEICC, TextsFromTheTagTable) {
    struct Case {
        const char* what;
        std::vector<TTag> tags;
        const char* description;
        const char* copyright;
    } cases[] = {
        {"both tags", {{"cprt", kCprt}, {"desc", kDesc}}, "Test sRGB", "(c) Us"},
        {"a tag past the end stops the walk", {{"XYZ ", "x", 99999}, {"desc", kDesc}}, "", ""},
        {"a description tag of 1000 bytes is ignored", {{"desc", kDesc + std::string(1000 - kDesc.size(), 'z')}}, "", ""},
        {"text without a terminator ends with the profile", {{"cprt", std::string("text\0\0\0\0abc", 11)}}, "", "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> p = Profile(c.tags);
        TIEICC icc;
        icc.LoadFromBuffer(p.data(), (int32_t)p.size());
        EXPECT_EQ(icc.GetRawSize(), (int32_t)p.size());
        EXPECT_EQ(icc.GetDescription(), c.description);
        EXPECT_EQ(icc.GetCopyright(), c.copyright);
    }
    // A tag count above 1000 reads nothing; a profile of 128 bytes has no texts.
    std::vector<uint8_t> many = Profile({{"desc", kDesc}});
    PutBE32(many, 128, 1001);
    TIEICC icc;
    icc.LoadFromBuffer(many.data(), (int32_t)many.size());
    EXPECT_EQ(icc.GetDescription(), "");
    std::vector<uint8_t> tiny(128, 0);
    icc.LoadFromBuffer(tiny.data(), 128);
    EXPECT_EQ(icc.GetRawSize(), 128);
    EXPECT_EQ(icc.GetDescription(), "");
    // The texts of a real profile.
    const std::string gs = testsupport::ReadFileBytes(Ghostscript(L"default_cmyk.icc"));
    icc.LoadFromBuffer(gs.data(), (int32_t)gs.size());
    EXPECT_EQ(icc.GetDescription(), "Artifex CMYK SWOP Profile");
    EXPECT_EQ(icc.GetCopyright(), "Copyright Artifex Software 2011");
}

TEST(IEICC, BytesAreKeptSavedCopiedAndCleared) {
    const std::vector<uint8_t> p = Profile({{"desc", kDesc}});
    TIEICC icc;
    icc.LoadFromBuffer(p.data(), (int32_t)p.size());
    icc.SetIsApplied(true);
    TMemoryStream withLength, rawOnly;
    icc.SaveToStream(&withLength, false);
    icc.SaveToStream(&rawOnly, true);
    ASSERT_EQ(withLength.GetSize(), (int64_t)p.size() + 4);
    const uint8_t* w = (const uint8_t*)withLength.GetMemory();
    EXPECT_EQ(w[0] | w[1] << 8 | w[2] << 16 | w[3] << 24, (int)p.size());
    EXPECT_EQ(std::memcmp(w + 4, p.data(), p.size()), 0);
    EXPECT_EQ(std::memcmp(rawOnly.GetMemory(), p.data(), p.size()), 0);

    TIEICC copy;
    copy.Assign(&icc);
    EXPECT_EQ(copy.GetRawSize(), (int32_t)p.size());
    EXPECT_EQ(copy.GetDescription(), "Test sRGB");
    EXPECT_FALSE(copy.GetIsApplied());

    // Reloading from its own bytes keeps them.
    icc.LoadFromBuffer(icc.GetRaw(), icc.GetRawSize());
    EXPECT_EQ(icc.GetRawSize(), (int32_t)p.size());
    EXPECT_FALSE(icc.GetIsApplied());   // loading clears the applied flag

    icc.Clear();
    EXPECT_EQ(icc.GetRawSize(), 0);
    EXPECT_EQ(icc.GetDescription(), "");
    EXPECT_FALSE(icc.IsValid());
    icc.LoadSRGB();
    EXPECT_TRUE(icc.IsSRGB());
    EXPECT_EQ(icc.GetRawSize(), 0);
}

TEST(IEICC, ConvertBitmapRefusesOtherFormats) {
    const std::string gs = testsupport::ReadFileBytes(Ghostscript(L"srgb.icc"));
    TIEICC src, dst;
    src.LoadFromBuffer(gs.data(), (int32_t)gs.size());
    dst.LoadFromBuffer(gs.data(), (int32_t)gs.size());
    for (TIEPixelFormat format : {ie8p, ie1g, ie16g, ie32f, ie32RGB}) {
        TIEBitmap b(4, 2, format);
        std::memset(b.GetScanline(0), 0x5A, (size_t)b.GetRowLen());
        EXPECT_FALSE(src.ConvertBitmap(&b, ie24RGB, &dst)) << (int)format;
        EXPECT_EQ(b.GetPixelFormat(), format);
        EXPECT_EQ(b.GetScanline(0)[0], 0x5A);
    }
    TIEBitmap rgb(4, 2, ie24RGB);
    EXPECT_FALSE(src.ConvertBitmap(&rgb, ie8p, &dst));
    EXPECT_EQ(rgb.GetPixelFormat(), ie24RGB);
}
